#include "audio/platform/pipewire_props.h"

#include <pipewire/extensions/metadata.h>
#include <pipewire/pipewire.h>
#include <spa/utils/dict.h>
#include <spa/utils/json.h>
#include <spa/utils/string.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace lorvane::audio {
namespace {

const char* lookup(const spa_dict* props, const char* key) {
  return props ? spa_dict_lookup(props, key) : nullptr;
}

std::string text(const spa_dict* props, const char* key) {
  const char* value = lookup(props, key);
  return value ? value : "";
}

}  // namespace

std::optional<int32_t> parsePositive(const char* value) {
  if (value == nullptr || *value < '0' || *value > '9') return std::nullopt;  // no sign, no space
  char* end = nullptr;
  errno = 0;
  const long long number = std::strtoll(value, &end, 10);
  if (*end != '\0' || errno != 0 || number <= 0 || number > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(number);
}

uint32_t parseRate(const char* value) {
  const auto rate = parsePositive(value);
  return rate && *rate < 1000000 ? uint32_t(*rate) : 0;
}

std::string parseMetadataName(const char* json) {
  if (json == nullptr) return "";
  spa_json it[2];
  spa_json_init(&it[0], json, strlen(json));
  if (spa_json_enter_object(&it[0], &it[1]) <= 0) return "";
  char key[64];
  while (spa_json_get_string(&it[1], key, sizeof key) > 0) {
    if (strcmp(key, "name") == 0) {
      char name[1024];
      return spa_json_get_string(&it[1], name, sizeof name) > 0 ? name : "";
    }
    const char* skip;
    if (spa_json_next(&it[1], &skip) <= 0) break;
  }
  return "";
}

GlobalFacts readGlobal(const char* type, const spa_dict* props) {
  GlobalFacts facts;
  if (strcmp(type, PW_TYPE_INTERFACE_Client) == 0) {
    facts.kind = ObjectKind::Client;
  } else if (strcmp(type, PW_TYPE_INTERFACE_Node) == 0) {
    facts.kind = ObjectKind::Node;
    facts.name = text(props, PW_KEY_NODE_NAME);
    facts.mediaClass = text(props, PW_KEY_MEDIA_CLASS);
  } else if (strcmp(type, PW_TYPE_INTERFACE_Port) == 0) {
    const auto node = parsePositive(lookup(props, PW_KEY_NODE_ID));
    if (!node) return facts;  // a port of no node links nowhere
    facts.kind = ObjectKind::Port;
    facts.nodeId = uint32_t(*node);
    facts.output = text(props, PW_KEY_PORT_DIRECTION) == "out";
    facts.monitor = spa_atob(lookup(props, PW_KEY_PORT_MONITOR));
    facts.channel = text(props, PW_KEY_AUDIO_CHANNEL);
  } else if (strcmp(type, PW_TYPE_INTERFACE_Metadata) == 0) {
    facts.kind = ObjectKind::Metadata;
    facts.name = text(props, PW_KEY_METADATA_NAME);
  }
  return facts;
}

ClientFacts readClient(const spa_dict* props) {
  return {.pid = parsePositive(lookup(props, PW_KEY_APP_PROCESS_ID)),
          .secPid = parsePositive(lookup(props, PW_KEY_SEC_PID)),
          .pulse = text(props, PW_KEY_CLIENT_API) == "pipewire-pulse"};
}

StreamNodeInfo readNode(const spa_dict* props) {
  StreamNodeInfo facts;
  facts.nodePid = parsePositive(lookup(props, PW_KEY_APP_PROCESS_ID));
  facts.clientId = parsePositive(lookup(props, PW_KEY_CLIENT_ID));
  facts.linkGroup = !text(props, PW_KEY_NODE_LINK_GROUP).empty();
  facts.isVirtual = spa_atob(lookup(props, PW_KEY_NODE_VIRTUAL));
  facts.monitorStream = spa_atob(lookup(props, PW_KEY_STREAM_MONITOR));
  return facts;
}

}  // namespace lorvane::audio
