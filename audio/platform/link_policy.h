#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lorvane::audio {

/// What a bound client's info says about its process.
struct ClientFacts {
  std::optional<int32_t> pid;     // application.process.id
  std::optional<int32_t> secPid;  // pipewire.sec.pid (socket credentials)
  bool pulse = false;             // client.api = pipewire-pulse: sec.pid is the pulse server's
};

/// What the registry watcher knows about a node when it decides whether to capture it.
struct StreamNodeInfo {
  std::string mediaClass;
  std::optional<int32_t> nodePid;   // node application.process.id (pulse-protocol streams)
  std::optional<int32_t> clientId;  // the client that made the node
  ClientFacts client;               // that client's facts, once its info has arrived
  bool linkGroup = false;           // part of a filter-chain / loopback pair
  bool isVirtual = false;
  bool monitorStream = false;  // stream.monitor: reads another node's output
};

/// The parent of a process, or nothing (gone, or no parent).
using ParentOf = std::function<std::optional<int32_t>(int32_t pid)>;

/// The parent pid from /proc/<pid>/stat.
std::optional<int32_t> procParentOf(int32_t pid);

/// True when `pid`, or a process it descends from, is in `excluded`.
bool descendsFromExcluded(int32_t pid, const std::vector<int32_t>& excluded,
                          const ParentOf& parentOf);

/// Whether a node's output goes into the capture: an application's playback stream
/// (Stream/Output/Audio) that is not virtual, not part of a link group (those carry other
/// streams' mixed audio again), and that no excluded process owns, directly or through an
/// ancestor.
bool shouldCapture(const StreamNodeInfo& node, const std::vector<int32_t>& excluded,
                   const ParentOf& parentOf);

/// Which capture channels a port of the given audio.channel feeds: left and/or right.
/// FL/RL/SL/... -> left, FR/RR/SR/... -> right, MONO/FC/unknown -> both, LFE -> neither.
struct ChannelRoute {
  bool left = false;
  bool right = false;
};
ChannelRoute routeFor(std::string_view channel);

}  // namespace lorvane::audio
