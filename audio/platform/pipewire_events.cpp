#include "audio/platform/pipewire_props.h"
#include "audio/platform/pipewire_session.h"

// The C event tables that route the daemon's events into PipeWireSession (and StreamGraph) on
// the loop thread.

namespace lorvane::audio {
namespace {

PipeWireSession& sessionOf(void* data) {
  return *static_cast<PipeWireSession*>(data);
}

}  // namespace

const pw_core_events PipeWireSession::kCore = [] {
  pw_core_events events{};
  events.version = PW_VERSION_CORE_EVENTS;
  events.info = [](void* data, const pw_core_info* info) {
    const char* rate = info->props ? spa_dict_lookup(info->props, "default.clock.rate") : nullptr;
    sessionOf(data).graph_.setCoreRate(parseRate(rate));
  };
  events.done = [](void* data, uint32_t id, int seq) {
    if (id == PW_ID_CORE) sessionOf(data).onDone(seq);
  };
  // Only -EPIPE on the core means the connection is broken (the socket closed). Other errors
  // on the core concern one object: "unknown resource" comes whenever a player quits while a
  // request about it is on its way, and must not cost a reconnect.
  events.error = [](void* data, uint32_t id, int /*seq*/, int res, const char* /*message*/) {
    if (id == PW_ID_CORE && res == -EPIPE) sessionOf(data).onError(res);
  };
  return events;
}();

const pw_registry_events PipeWireSession::kRegistry = [] {
  pw_registry_events events{};
  events.version = PW_VERSION_REGISTRY_EVENTS;
  events.global = [](void* data, uint32_t id, uint32_t /*permissions*/, const char* type,
                     uint32_t /*version*/, const spa_dict* props) {
    PipeWireSession& self = sessionOf(data);
    const GlobalFacts facts = readGlobal(type, props);
    self.graph_.addGlobal(id, facts);
    if (facts.kind == ObjectKind::Port) self.adoptNode();
  };
  events.global_remove = [](void* data, uint32_t id) { sessionOf(data).graph_.removeGlobal(id); };
  return events;
}();

const pw_client_events PipeWireSession::kClient = [] {
  pw_client_events events{};
  events.version = PW_VERSION_CLIENT_EVENTS;
  events.info = [](void* data, const pw_client_info* info) {
    sessionOf(data).graph_.clientInfo(info->id, readClient(info->props));
  };
  return events;
}();

const pw_node_events PipeWireSession::kNode = [] {
  pw_node_events events{};
  events.version = PW_VERSION_NODE_EVENTS;
  events.info = [](void* data, const pw_node_info* info) {
    if (!(info->change_mask & PW_NODE_CHANGE_MASK_PROPS)) return;
    sessionOf(data).graph_.nodeInfo(info->id, readNode(info->props));
  };
  return events;
}();

const pw_metadata_events PipeWireSession::kMetadata = [] {
  pw_metadata_events events{};
  events.version = PW_VERSION_METADATA_EVENTS;
  events.property = [](void* data, uint32_t subject, const char* key, const char* /*type*/,
                       const char* value) {
    if (subject == PW_ID_CORE) sessionOf(data).graph_.metadataProperty(key, value);
    return 0;
  };
  return events;
}();

const pw_filter_events PipeWireSession::kCaptureNode = [] {
  pw_filter_events events{};
  events.version = PW_VERSION_FILTER_EVENTS;
  events.state_changed = [](void* data, pw_filter_state /*old*/, pw_filter_state state,
                            const char* /*error*/) {
    PipeWireSession& self = sessionOf(data);
    pw_thread_loop_signal(self.loop_, false);
    self.adoptNode();
    // The daemon removed the node (pw-cli destroy, a session manager) or failed it.
    if (state == PW_FILTER_STATE_UNCONNECTED || state == PW_FILTER_STATE_ERROR) self.onNodeLost();
  };
  return events;
}();

// A link we made: refused when it was asked for (error), or destroyed by the daemon or another
// client while its ports stay (removed).
const pw_proxy_events PipeWireSession::kLink = [] {
  pw_proxy_events events{};
  events.version = PW_VERSION_PROXY_EVENTS;
  events.removed = [](void* data) {
    auto* link = static_cast<LinkProxy*>(data);
    link->session->onLinkLost(link->handle);
  };
  events.error = [](void* data, int /*seq*/, int /*res*/, const char* /*message*/) {
    auto* link = static_cast<LinkProxy*>(data);
    link->session->onLinkLost(link->handle);
  };
  return events;
}();

}  // namespace lorvane::audio
