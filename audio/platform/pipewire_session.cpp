#include "audio/platform/pipewire_session.h"

#include <spa/utils/json.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace lorvane::audio {
namespace {

using Session = PipeWireAudio::Session;

std::optional<int32_t> pidProp(const spa_dict* props, const char* key) {
  const char* text = props ? spa_dict_lookup(props, key) : nullptr;
  if (text == nullptr || *text == '\0') return std::nullopt;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (*end != '\0' || value <= 0 || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

std::string strProp(const spa_dict* props, const char* key) {
  const char* text = props ? spa_dict_lookup(props, key) : nullptr;
  return text ? text : "";
}

bool boolProp(const spa_dict* props, const char* key) {
  const char* text = props ? spa_dict_lookup(props, key) : nullptr;
  return text != nullptr && spa_atob(text);
}

uint32_t rateProp(const char* value) {
  if (value == nullptr) return 0;
  const long rate = std::strtol(value, nullptr, 10);
  return rate > 0 && rate < 1000000 ? static_cast<uint32_t>(rate) : 0;
}

// {"name": "nullsink"} -> nullsink
std::string jsonName(const char* value) {
  if (value == nullptr) return "";
  spa_json it[2];
  spa_json_init(&it[0], value, strlen(value));
  if (spa_json_enter_object(&it[0], &it[1]) <= 0) return "";
  char key[64];
  while (spa_json_get_string(&it[1], key, sizeof key) > 0) {
    char text[1024];
    if (strcmp(key, "name") == 0) {
      return spa_json_get_string(&it[1], text, sizeof text) > 0 ? text : "";
    }
    const char* skip;
    if (spa_json_next(&it[1], &skip) <= 0) break;
  }
  return "";
}

void onCoreDone(void* data, uint32_t id, int seq) {
  auto* self = static_cast<Session*>(data);
  if (id == PW_ID_CORE && seq == self->pendingSeq) {
    self->synced = true;
    pw_thread_loop_signal(self->loop, false);
  }
}

void onCoreError(void* data, uint32_t id, int /*seq*/, int res, const char* /*message*/) {
  auto* self = static_cast<Session*>(data);
  if (id == PW_ID_CORE) {
    self->coreError = res < 0 ? res : -EIO;
    pw_thread_loop_signal(self->loop, false);
  }
}

void onCoreInfo(void* data, const pw_core_info* info) {
  auto* self = static_cast<Session*>(data);
  if (info->props) self->coreRate = rateProp(spa_dict_lookup(info->props, "default.clock.rate"));
}

const pw_core_events kCoreEvents = [] {
  pw_core_events events{};
  events.version = PW_VERSION_CORE_EVENTS;
  events.info = onCoreInfo;
  events.done = onCoreDone;
  events.error = onCoreError;
  return events;
}();

void onGlobal(void* data, uint32_t id, uint32_t /*permissions*/, const char* type,
              uint32_t /*version*/, const spa_dict* props) {
  static_cast<Session*>(data)->onGlobal(id, type, props);
}

void onGlobalRemove(void* data, uint32_t id) {
  static_cast<Session*>(data)->onGlobalRemove(id);
}

const pw_registry_events kRegistryEvents = [] {
  pw_registry_events events{};
  events.version = PW_VERSION_REGISTRY_EVENTS;
  events.global = onGlobal;
  events.global_remove = onGlobalRemove;
  return events;
}();

void onClientInfo(void* data, const pw_client_info* info) {
  auto* self = static_cast<Session*>(data);
  auto it = self->clients.find(info->id);
  if (it == self->clients.end()) return;
  Session::Client& client = *it->second;
  client.pid = pidProp(info->props, PW_KEY_APP_PROCESS_ID);
  client.secPid = pidProp(info->props, PW_KEY_SEC_PID);
  client.pulse = strProp(info->props, PW_KEY_CLIENT_API) == "pipewire-pulse";
  client.ready = true;
  self->reconcile();
}

void onNodeInfo(void* data, const pw_node_info* info) {
  auto* self = static_cast<Session*>(data);
  auto it = self->nodes.find(info->id);
  if (it == self->nodes.end() || !(info->change_mask & PW_NODE_CHANGE_MASK_PROPS)) return;
  Session::Node& node = *it->second;
  const spa_dict* props = info->props;
  node.info.nodePid = pidProp(props, PW_KEY_APP_PROCESS_ID);
  node.info.linkGroup = !strProp(props, PW_KEY_NODE_LINK_GROUP).empty();
  node.info.isVirtual = boolProp(props, PW_KEY_NODE_VIRTUAL);
  node.info.monitorStream = boolProp(props, PW_KEY_STREAM_MONITOR);
  if (const auto client = pidProp(props, PW_KEY_CLIENT_ID)) node.clientId = uint32_t(*client);
  node.ready = true;
  self->reconcile();
}

int onMetadataProperty(void* data, uint32_t subject, const char* key, const char* /*type*/,
                       const char* value) {
  auto* self = static_cast<Session*>(data);
  if (subject != PW_ID_CORE) return 0;
  // Only "default" and "settings" are bound, and their keys do not overlap.
  self->onMetadata(key, value);
  return 0;
}

const pw_client_events kClientEvents = [] {
  pw_client_events events{};
  events.version = PW_VERSION_CLIENT_EVENTS;
  events.info = onClientInfo;
  return events;
}();

const pw_node_events kNodeEvents = [] {
  pw_node_events events{};
  events.version = PW_VERSION_NODE_EVENTS;
  events.info = onNodeInfo;
  return events;
}();

const pw_metadata_events kMetadataEvents = [] {
  pw_metadata_events events{};
  events.version = PW_VERSION_METADATA_EVENTS;
  events.property = onMetadataProperty;
  return events;
}();

}  // namespace

Session::Bound::~Bound() {
  if (proxy != nullptr) {
    spa_hook_remove(&listener);
    pw_proxy_destroy(proxy);
  }
}

Session::~Session() {
  // Only tests and failed connects get here; the capture itself ends with _exit.
  if (loop) pw_thread_loop_stop(loop);
  clients.clear();
  nodes.clear();
  metadata.clear();
  for (auto& [key, proxy] : links) pw_proxy_destroy(proxy);
  links.clear();
  if (registry) {
    spa_hook_remove(&registryListener);
    pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry));
  }
  if (core) pw_core_disconnect(core);
  if (context) pw_context_destroy(context);
  if (loop) pw_thread_loop_destroy(loop);
}

OSStatus Session::connect() {
  pw_init(nullptr, nullptr);
  // Library warnings must never reach stderr: it carries the parent's status lines.
  pw_log_set_level(SPA_LOG_LEVEL_NONE);
  loop = pw_thread_loop_new("lorvane.pw", nullptr);
  if (loop == nullptr) return errno ? -errno : -ENOMEM;
  // client-rt.conf: the real-time data thread, as the PipeWire tools use it.
  context = pw_context_new(pw_thread_loop_get_loop(loop),
                           pw_properties_new(PW_KEY_CONFIG_NAME, "client-rt.conf", nullptr), 0);
  if (context == nullptr) return errno ? -errno : -ENOMEM;
  if (pw_thread_loop_start(loop) < 0) return -EIO;

  pw_thread_loop_lock(loop);
  core = pw_context_connect(context, pw_properties_new(PW_KEY_APP_NAME, "lorvane-tap", nullptr), 0);
  if (core == nullptr) {
    const int error = errno ? -errno : -EIO;
    pw_thread_loop_unlock(loop);
    return error;
  }
  pw_core_add_listener(core, &coreListener, &kCoreEvents, this);
  registry = pw_core_get_registry(core, PW_VERSION_REGISTRY, 0);
  pw_registry_add_listener(registry, &registryListener, &kRegistryEvents, this);
  // First the globals, then the info and properties of what they made us bind.
  const bool ok = roundtrip(3000) && roundtrip(3000);
  const OSStatus status = ok ? 0 : (coreError ? coreError : -ETIMEDOUT);
  pw_thread_loop_unlock(loop);
  return status;
}

bool Session::roundtrip(int timeoutMs) {
  synced = false;
  pendingSeq = pw_core_sync(core, PW_ID_CORE, pendingSeq);
  timespec deadline{};
  pw_thread_loop_get_time(loop, &deadline, int64_t(timeoutMs) * SPA_NSEC_PER_MSEC);
  while (!synced && coreError == 0) {
    if (pw_thread_loop_timed_wait_full(loop, &deadline) != 0) return false;
  }
  return synced;
}

void Session::onGlobal(uint32_t id, const char* type, const spa_dict* props) {
  if (strcmp(type, PW_TYPE_INTERFACE_Client) == 0) {
    auto client = std::make_unique<Client>();
    client->bound.proxy = static_cast<pw_proxy*>(
        pw_registry_bind(registry, id, PW_TYPE_INTERFACE_Client, PW_VERSION_CLIENT, 0));
    if (client->bound.proxy) {
      pw_client_add_listener(reinterpret_cast<pw_client*>(client->bound.proxy),
                             &client->bound.listener, &kClientEvents, this);
    }
    clients[id] = std::move(client);
  } else if (strcmp(type, PW_TYPE_INTERFACE_Node) == 0) {
    auto node = std::make_unique<Node>();
    node->name = strProp(props, PW_KEY_NODE_NAME);
    node->mediaClass = strProp(props, PW_KEY_MEDIA_CLASS);
    node->info.mediaClass = node->mediaClass;
    // Only playback streams need their full properties (owner pids, link group).
    if (node->mediaClass == "Stream/Output/Audio") {
      node->bound.proxy = static_cast<pw_proxy*>(
          pw_registry_bind(registry, id, PW_TYPE_INTERFACE_Node, PW_VERSION_NODE, 0));
      if (node->bound.proxy) {
        pw_node_add_listener(reinterpret_cast<pw_node*>(node->bound.proxy), &node->bound.listener,
                             &kNodeEvents, this);
      }
    }
    nodes[id] = std::move(node);
  } else if (strcmp(type, PW_TYPE_INTERFACE_Port) == 0) {
    Port port;
    const auto nodeId = pidProp(props, PW_KEY_NODE_ID);
    if (!nodeId) return;
    port.nodeId = uint32_t(*nodeId);
    port.output = strProp(props, PW_KEY_PORT_DIRECTION) == "out";
    port.monitor = boolProp(props, PW_KEY_PORT_MONITOR);
    port.channel = strProp(props, PW_KEY_AUDIO_CHANNEL);
    ports[id] = port;
    if (port.nodeId == captureNodeId && !port.output) {
      (port.channel == "FR" ? captureRight : captureLeft) = id;
    }
    reconcile();
  } else if (strcmp(type, PW_TYPE_INTERFACE_Metadata) == 0) {
    const std::string name = strProp(props, PW_KEY_METADATA_NAME);
    if (name != "default" && name != "settings") return;
    auto meta = std::make_unique<Metadata>();
    meta->name = name;
    meta->bound.proxy = static_cast<pw_proxy*>(
        pw_registry_bind(registry, id, PW_TYPE_INTERFACE_Metadata, PW_VERSION_METADATA, 0));
    if (meta->bound.proxy) {
      pw_metadata_add_listener(reinterpret_cast<pw_metadata*>(meta->bound.proxy),
                               &meta->bound.listener, &kMetadataEvents, this);
    }
    metadata[id] = std::move(meta);
  }
}

void Session::onGlobalRemove(uint32_t id) {
  // Ids are reused: forget everything about this one before a new global can take it.
  clients.erase(id);
  nodes.erase(id);
  metadata.erase(id);
  if (ports.erase(id) > 0) {
    if (id == captureLeft) captureLeft = SPA_ID_INVALID;
    if (id == captureRight) captureRight = SPA_ID_INVALID;
    for (auto it = links.begin(); it != links.end();) {
      if (it->first.first == id || it->first.second == id) {
        pw_proxy_destroy(it->second);
        it = links.erase(it);
      } else {
        ++it;
      }
    }
  }
}

void Session::onMetadata(const char* key, const char* value) {
  if (key == nullptr) return;
  if (strcmp(key, "default.audio.sink") == 0) {
    defaultSinkName = jsonName(value);
  } else if (strcmp(key, "clock.rate") == 0) {
    settingsRate = rateProp(value);
  } else if (strcmp(key, "clock.force-rate") == 0) {
    forcedRate = rateProp(value);
  }
}

double Session::graphRate() const {
  if (forcedRate) return forcedRate;
  if (settingsRate) return settingsRate;
  if (coreRate) return coreRate;
  return 48000;
}

std::optional<uint32_t> Session::defaultSinkId() const {
  if (defaultSinkName.empty()) return std::nullopt;
  for (const auto& [id, node] : nodes) {
    if (node->name == defaultSinkName && node->mediaClass.rfind("Audio/", 0) == 0) return id;
  }
  return std::nullopt;
}

}  // namespace lorvane::audio
