#include "audio/platform/pipewire_session.h"

// The bindings and links that StreamGraph asks for, as proxies of the current connection.

namespace lorvane::audio {

void PipeWireSession::bind(uint32_t id, ObjectKind kind) {
  struct Interface {
    const char* type;
    uint32_t version;
    const void* events;
  };
  const Interface i = kind == ObjectKind::Client
                          ? Interface{PW_TYPE_INTERFACE_Client, PW_VERSION_CLIENT, &kClient}
                      : kind == ObjectKind::Node
                          ? Interface{PW_TYPE_INTERFACE_Node, PW_VERSION_NODE, &kNode}
                          : Interface{PW_TYPE_INTERFACE_Metadata, PW_VERSION_METADATA, &kMetadata};
  auto* proxy = static_cast<pw_proxy*>(pw_registry_bind(registry_, id, i.type, i.version, 0));
  if (proxy == nullptr) return;
  auto bound = std::make_unique<Bound>();
  bound->proxy = proxy;
  pw_proxy_add_object_listener(proxy, &bound->listener, i.events, this);
  bound_[id] = std::move(bound);
}

void PipeWireSession::unbind(uint32_t id) {
  bound_.erase(id);
}

uint64_t PipeWireSession::link(const LinkEnds& ends) {
  pw_properties* props = pw_properties_new(PW_KEY_OBJECT_LINGER, "false", nullptr);
  pw_properties_setf(props, PW_KEY_LINK_OUTPUT_NODE, "%u", ends.outNode);
  pw_properties_setf(props, PW_KEY_LINK_OUTPUT_PORT, "%u", ends.outPort);
  pw_properties_setf(props, PW_KEY_LINK_INPUT_NODE, "%u", ends.inNode);
  pw_properties_setf(props, PW_KEY_LINK_INPUT_PORT, "%u", ends.inPort);
  auto* proxy = static_cast<pw_proxy*>(pw_core_create_object(
      core_, "link-factory", PW_TYPE_INTERFACE_Link, PW_VERSION_LINK, &props->dict, 0));
  pw_properties_free(props);
  if (proxy == nullptr) return 0;
  auto link = std::make_unique<LinkProxy>();
  link->session = this;
  link->handle = ++lastLink_;  // never reused, unlike the proxy's address
  link->proxy = proxy;
  pw_proxy_add_listener(proxy, &link->listener, &kLink, link.get());
  return (links_[link->handle] = std::move(link))->handle;
}

void PipeWireSession::unlink(uint64_t handle) {
  std::erase(lostLinks_, handle);
  links_.erase(handle);
}

void PipeWireSession::onLinkLost(uint64_t handle) {
  // Not inside the proxy's own event: the next done releases it and links again.
  lostLinks_.push_back(handle);
  relinkSeq_ = pw_core_sync(core_, PW_ID_CORE, 0);
}

}  // namespace lorvane::audio
