#include "audio/platform/stream_graph.h"

#include <algorithm>
#include <cstring>

#include "audio/platform/pipewire_props.h"

namespace lorvane::audio {

StreamGraph::StreamGraph(GraphPort& port, std::vector<int32_t> excludedPids, ParentOf parentOf)
    : port_(port), excluded_(std::move(excludedPids)), parentOf_(std::move(parentOf)) {}

void StreamGraph::addGlobal(uint32_t id, const GlobalFacts& facts) {
  switch (facts.kind) {
    case ObjectKind::Client:
      clients_[id].reset();
      bind(id, ObjectKind::Client);
      break;
    case ObjectKind::Node:
      nodes_[id] = Node{facts, std::nullopt};
      // Only playback streams need their full properties (owner pids, link group).
      if (facts.mediaClass == "Stream/Output/Audio") bind(id, ObjectKind::Node);
      break;
    case ObjectKind::Port:
      ports_[id] = facts;
      reconcile();
      break;
    case ObjectKind::Metadata:
      if (facts.name == "default" || facts.name == "settings") bind(id, ObjectKind::Metadata);
      break;
    case ObjectKind::Other:
      break;
  }
}

void StreamGraph::bind(uint32_t id, ObjectKind kind) {
  bound_.insert(id);
  port_.bind(id, kind);
}

void StreamGraph::removeGlobal(uint32_t id) {
  // Ids are reused: forget everything about this one before a new global can take it.
  if (bound_.erase(id) > 0) port_.unbind(id);
  clients_.erase(id);
  if (nodes_.erase(id) > 0 && id == captureId_) captureId_.reset();
  if (ports_.erase(id) == 0) return;
  std::erase_if(
      lost_, [&](const auto& lost) { return lost.first.first == id || lost.first.second == id; });
  std::erase_if(links_, [&](const auto& link) {
    if (link.first.first != id && link.first.second != id) return false;
    port_.unlink(link.second);
    return true;
  });
}

void StreamGraph::clientInfo(uint32_t id, const ClientFacts& facts) {
  auto it = clients_.find(id);
  if (it == clients_.end()) return;
  it->second = facts;
  reconcile();
}

void StreamGraph::nodeInfo(uint32_t id, const StreamNodeInfo& facts) {
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
  if (captureId_ == id) return;  // its ports are found as they come
  captureId_ = id;
  reconcile();
}

std::optional<uint32_t> StreamGraph::capturePort(bool right) const {
  for (const auto& [id, port] : ports_) {
    if (port.nodeId == captureId_ && !port.output && (port.channel == "FR") == right) return id;
  }
  return std::nullopt;
}

std::optional<uint32_t> StreamGraph::captureNode() const {
  return capturePort(false) && capturePort(true) ? captureId_ : std::nullopt;
}

bool StreamGraph::captures(const Node& node, const ParentOf& parentOf) const {
  if (!node.info) return false;
  StreamNodeInfo info = *node.info;
  info.mediaClass = node.global.mediaClass;
  if (info.clientId) {
    auto it = clients_.find(uint32_t(*info.clientId));
    if (it == clients_.end() || !it->second) return false;  // owner not known yet
    info.client = *it->second;
  }
  return shouldCapture(info, excluded_, parentOf);
}

void StreamGraph::reconcile() {
  const auto left = capturePort(false), right = capturePort(true);
  if (!captureId_ || !left || !right) return;
  // Each process's parent is read once per pass, however many ports and streams it owns.
  std::map<int32_t, std::optional<int32_t>> parents;
  const ParentOf parentOf = [&](int32_t pid) {
    auto [it, added] = parents.try_emplace(pid);
    if (added) it->second = parentOf_(pid);
    return it->second;
  };
  std::map<uint32_t, bool> verdicts;  // per stream node
  for (const auto& [portId, port] : ports_) {
    if (!port.output || port.monitor || port.nodeId == captureId_) continue;
    auto node = nodes_.find(port.nodeId);
    if (node == nodes_.end()) continue;
    auto [verdict, added] = verdicts.try_emplace(port.nodeId);
    if (added) verdict->second = captures(node->second, parentOf);
    if (!verdict->second) continue;
    const ChannelRoute route = routeFor(port.channel);
    if (route.left) link(portId, port.nodeId, *left);
    if (route.right) link(portId, port.nodeId, *right);
  }
}

void StreamGraph::link(uint32_t outPort, uint32_t outNode, uint32_t inPort) {
  const auto key = std::make_pair(outPort, inPort);
  if (links_.count(key)) return;
  if (auto lost = lost_.find(key); lost != lost_.end() && lost->second >= kLinkAttempts) return;
  if (const uint64_t handle = port_.link(LinkEnds{outNode, outPort, *captureId_, inPort})) {
    links_[key] = handle;
  }
}

void StreamGraph::linkLost(uint64_t handle) {
  const auto it = std::ranges::find_if(links_, [&](const auto& l) { return l.second == handle; });
  if (it == links_.end()) return;
  ++lost_[it->first];
  port_.unlink(handle);
  links_.erase(it);
}

void StreamGraph::dropLinks() {
  for (const auto& [ends, handle] : links_) port_.unlink(handle);
  links_.clear();
}

void StreamGraph::reset() {
  dropLinks();
  lost_.clear();
  for (const uint32_t id : bound_) port_.unbind(id);
  bound_.clear();
  clients_.clear();
  nodes_.clear();
  ports_.clear();
  captureId_.reset();
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
