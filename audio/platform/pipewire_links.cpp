#include <cstring>

#include "audio/platform/pipewire_session.h"

// Which streams go into the capture node, and the links that put them there.

namespace lorvane::audio {

using Session = PipeWireAudio::Session;

bool Session::captures(const Node& node) const {
  if (!node.ready) return false;
  StreamNodeInfo info = node.info;
  if (node.clientId) {
    auto it = clients.find(*node.clientId);
    if (it == clients.end() || !it->second->ready) return false;  // owner not known yet
    info.clientPid = it->second->pid;
    info.clientSecPid = it->second->secPid;
    info.pulseClient = it->second->pulse;
  }
  return shouldCapture(info, excludedPids, procParentOf);
}

void Session::reconcile() {
  if (captureLeft == SPA_ID_INVALID || captureRight == SPA_ID_INVALID) return;
  for (const auto& [portId, port] : ports) {
    if (!port.output || port.monitor || port.nodeId == captureNodeId) continue;
    auto node = nodes.find(port.nodeId);
    if (node == nodes.end() || !captures(*node->second)) continue;
    const ChannelRoute route = routeFor(port.channel);
    if (route.left) link(portId, port.nodeId, captureLeft);
    if (route.right) link(portId, port.nodeId, captureRight);
  }
}

void Session::link(uint32_t outPort, uint32_t outNode, uint32_t inPort) {
  const auto key = std::make_pair(outPort, inPort);
  if (links.count(key)) return;
  pw_properties* props = pw_properties_new(PW_KEY_OBJECT_LINGER, "false", nullptr);
  pw_properties_setf(props, PW_KEY_LINK_OUTPUT_NODE, "%u", outNode);
  pw_properties_setf(props, PW_KEY_LINK_OUTPUT_PORT, "%u", outPort);
  pw_properties_setf(props, PW_KEY_LINK_INPUT_NODE, "%u", captureNodeId);
  pw_properties_setf(props, PW_KEY_LINK_INPUT_PORT, "%u", inPort);
  auto* proxy = static_cast<pw_proxy*>(pw_core_create_object(
      core, "link-factory", PW_TYPE_INTERFACE_Link, PW_VERSION_LINK, &props->dict, 0));
  pw_properties_free(props);
  if (proxy != nullptr) links[key] = proxy;
}

void Session::dropLinks() {
  for (auto& [key, proxy] : links) pw_proxy_destroy(proxy);
  links.clear();
}

}  // namespace lorvane::audio
