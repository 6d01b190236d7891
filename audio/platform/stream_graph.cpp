#include "audio/platform/stream_graph.h"

#include <cstring>

#include "audio/platform/pipewire_props.h"

namespace lorvane::audio {
namespace {

bool isStream(const GlobalFacts& node) {
  return node.mediaClass == "Stream/Output/Audio";
}

}  // namespace

StreamGraph::StreamGraph(GraphPort& port, std::vector<int32_t> excludedPids, ParentOf parentOf)
    : port_(port), excluded_(std::move(excludedPids)), parentOf_(std::move(parentOf)) {}

void StreamGraph::addGlobal(uint32_t id, const GlobalFacts& facts) {
  switch (facts.kind) {
    case ObjectKind::Client:
      clients_[id].reset();
      port_.bind(id, ObjectKind::Client);
      break;
    case ObjectKind::Node:
      nodes_[id] = Node{facts, std::nullopt};
      // Only playback streams need their full properties (owner pids, link group).
      if (isStream(facts)) port_.bind(id, ObjectKind::Node);
      break;
    case ObjectKind::Port:
      notePort(id, facts);
      break;
    case ObjectKind::Metadata:
      if (facts.name != "default" && facts.name != "settings") return;
      metadata_.insert(id);
      port_.bind(id, ObjectKind::Metadata);
      break;
    case ObjectKind::Other:
      break;
  }
}

void StreamGraph::notePort(uint32_t id, const GlobalFacts& port) {
  ports_[id] = port;
  if (captureId_ && port.nodeId == *captureId_ && !port.output) {
    (port.channel == "FR" ? captureRight_ : captureLeft_) = id;
  }
  reconcile();
}

void StreamGraph::removeGlobal(uint32_t id) {
  // Ids are reused: forget everything about this one before a new global can take it.
  if (clients_.erase(id) > 0) port_.unbind(id);
  if (auto node = nodes_.find(id); node != nodes_.end()) {
    if (isStream(node->second.global)) port_.unbind(id);
    nodes_.erase(node);
    if (id == captureId_) captureId_.reset();
  }
  if (metadata_.erase(id) > 0) port_.unbind(id);
  if (ports_.erase(id) == 0) return;
  if (id == captureLeft_) captureLeft_.reset();
  if (id == captureRight_) captureRight_.reset();
  for (auto it = links_.begin(); it != links_.end();) {
    if (it->first.first == id || it->first.second == id) {
      port_.unlink(it->second);
      it = links_.erase(it);
    } else {
      ++it;
    }
  }
}

void StreamGraph::clientInfo(uint32_t id, const ClientFacts& facts) {
  auto it = clients_.find(id);
  if (it == clients_.end()) return;
  it->second = facts;
  reconcile();
}

void StreamGraph::nodeInfo(uint32_t id, const NodeFacts& facts) {
  auto it = nodes_.find(id);
  if (it == nodes_.end()) return;
  it->second.info = facts;
  reconcile();
}

void StreamGraph::metadataProperty(const char* key, const char* value) {
  if (key == nullptr) return;
  if (strcmp(key, "default.audio.sink") == 0) {
    defaultSinkName_ = parseMetadataName(value);
  } else if (strcmp(key, "clock.rate") == 0) {
    settingsRate_ = parseRate(value);
  } else if (strcmp(key, "clock.force-rate") == 0) {
    forcedRate_ = parseRate(value);
  }
}

void StreamGraph::adoptCaptureNode(uint32_t id) {
  if (captureId_ == id) return;  // its ports are noted as they come
  captureId_ = id;
  captureLeft_.reset();
  captureRight_.reset();
  for (const auto& [portId, port] : ports_) {
    if (port.nodeId == id && !port.output) {
      (port.channel == "FR" ? captureRight_ : captureLeft_) = portId;
    }
  }
  reconcile();
}

std::optional<uint32_t> StreamGraph::captureNode() const {
  if (captureLeft_ && captureRight_) return captureId_;
  return std::nullopt;
}

bool StreamGraph::captures(const Node& node) const {
  if (!node.info) return false;
  StreamNodeInfo info;
  info.mediaClass = node.global.mediaClass;
  info.nodePid = node.info->pid;
  info.linkGroup = node.info->linkGroup;
  info.isVirtual = node.info->isVirtual;
  info.monitorStream = node.info->monitorStream;
  if (node.info->clientId) {
    auto it = clients_.find(uint32_t(*node.info->clientId));
    if (it == clients_.end() || !it->second) return false;  // owner not known yet
    info.clientPid = it->second->pid;
    info.clientSecPid = it->second->secPid;
    info.pulseClient = it->second->pulse;
  }
  return shouldCapture(info, excluded_, parentOf_);
}

void StreamGraph::reconcile() {
  if (!captureNode()) return;
  for (const auto& [portId, port] : ports_) {
    if (!port.output || port.monitor || port.nodeId == captureId_) continue;
    auto node = nodes_.find(port.nodeId);
    if (node == nodes_.end() || !captures(node->second)) continue;
    const ChannelRoute route = routeFor(port.channel);
    if (route.left) link(portId, port.nodeId, *captureLeft_);
    if (route.right) link(portId, port.nodeId, *captureRight_);
  }
}

void StreamGraph::link(uint32_t outPort, uint32_t outNode, uint32_t inPort) {
  const auto key = std::make_pair(outPort, inPort);
  if (links_.count(key)) return;
  if (const uint64_t handle = port_.link(LinkEnds{outNode, outPort, *captureId_, inPort})) {
    links_[key] = handle;
  }
}

void StreamGraph::dropLinks() {
  for (const auto& [ends, handle] : links_) port_.unlink(handle);
  links_.clear();
}

void StreamGraph::reset() {
  dropLinks();
  for (const auto& [id, client] : clients_) port_.unbind(id);
  for (const auto& [id, node] : nodes_) {
    if (isStream(node.global)) port_.unbind(id);
  }
  for (const uint32_t id : metadata_) port_.unbind(id);
  clients_.clear();
  nodes_.clear();
  ports_.clear();
  metadata_.clear();
  captureId_.reset();
  captureLeft_.reset();
  captureRight_.reset();
  defaultSinkName_.clear();
  settingsRate_ = forcedRate_ = coreRate_ = 0;
}

std::optional<uint32_t> StreamGraph::defaultSink() const {
  if (defaultSinkName_.empty()) return std::nullopt;
  for (const auto& [id, node] : nodes_) {
    const GlobalFacts& g = node.global;
    if (g.name == defaultSinkName_ && g.mediaClass.rfind("Audio/", 0) == 0) return id;
  }
  return std::nullopt;
}

std::string StreamGraph::nodeName(uint32_t id) const {
  auto it = nodes_.find(id);
  return it == nodes_.end() ? "" : it->second.global.name;
}

double StreamGraph::graphRate() const {
  if (forcedRate_) return forcedRate_;
  if (settingsRate_) return settingsRate_;
  if (coreRate_) return coreRate_;
  return 48000;
}

}  // namespace lorvane::audio
