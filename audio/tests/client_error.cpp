#include "audio/tests/client_error.h"

#include <pipewire/pipewire.h>

#include <cstring>
#include <string>

namespace lorvane::audio::capture_test {
namespace {

struct Search {
  pw_main_loop* loop = nullptr;
  pw_registry* registry = nullptr;
  std::string pid;
  pw_client* client = nullptr;
  int seq = 0;
};

}  // namespace

bool sendClientError(int32_t pid, int res, const char* message) {
  pw_init(nullptr, nullptr);
  Search s;
  s.pid = std::to_string(pid);
  s.loop = pw_main_loop_new(nullptr);
  pw_context* context = pw_context_new(pw_main_loop_get_loop(s.loop), nullptr, 0);
  pw_core* core = pw_context_connect(context, nullptr, 0);
  if (core == nullptr) return false;
  s.registry = pw_core_get_registry(core, PW_VERSION_REGISTRY, 0);
  pw_registry_events registryEvents{};
  registryEvents.version = PW_VERSION_REGISTRY_EVENTS;
  registryEvents.global = [](void* data, uint32_t id, uint32_t, const char* type, uint32_t,
                             const spa_dict* props) {
    auto& search = *static_cast<Search*>(data);
    const char* owner = props ? spa_dict_lookup(props, PW_KEY_SEC_PID) : nullptr;
    if (search.client || strcmp(type, PW_TYPE_INTERFACE_Client) != 0 || !owner ||
        search.pid != owner) {
      return;
    }
    search.client = static_cast<pw_client*>(
        pw_registry_bind(search.registry, id, PW_TYPE_INTERFACE_Client, PW_VERSION_CLIENT, 0));
  };
  spa_hook registryListener{}, coreListener{};
  pw_registry_add_listener(s.registry, &registryListener, &registryEvents, &s);
  pw_core_events coreEvents{};
  coreEvents.version = PW_VERSION_CORE_EVENTS;
  coreEvents.done = [](void* data, uint32_t, int seq) {
    auto& search = *static_cast<Search*>(data);
    if (seq == search.seq) pw_main_loop_quit(search.loop);
  };
  pw_core_add_listener(core, &coreListener, &coreEvents, &s);
  s.seq = pw_core_sync(core, PW_ID_CORE, 0);
  pw_main_loop_run(s.loop);
  const bool found = s.client != nullptr;
  if (found) {
    // The error goes to the client's own core object, as the daemon's errors about one of its
    // requests do.
    pw_client_error(s.client, PW_ID_CORE, res, message);
    s.seq = pw_core_sync(core, PW_ID_CORE, 0);
    pw_main_loop_run(s.loop);
    pw_proxy_destroy(reinterpret_cast<pw_proxy*>(s.client));
  }
  pw_proxy_destroy(reinterpret_cast<pw_proxy*>(s.registry));
  pw_core_disconnect(core);
  pw_context_destroy(context);
  pw_main_loop_destroy(s.loop);
  return found;
}

}  // namespace lorvane::audio::capture_test
