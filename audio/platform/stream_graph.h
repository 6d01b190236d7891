#pragma once

// The registry bookkeeping of the capture, free of PipeWire types: which clients, nodes and
// ports exist, which playback streams go into the capture node, and the links that put them
// there. The session feeds it what the daemon says; it acts only through GraphPort, so its
// rules run against a fake registry in the tests.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "audio/platform/link_policy.h"

namespace lorvane::audio {

enum class ObjectKind { Other, Client, Node, Port, Metadata };

/// What a registry global says about itself.
struct GlobalFacts {
  ObjectKind kind = ObjectKind::Other;
  std::string name;        // node.name, or metadata.name
  std::string mediaClass;  // nodes
  uint32_t nodeId = 0;     // ports: the node they belong to
  bool output = false;     // ports: direction "out"
  bool monitor = false;    // ports: port.monitor
  std::string channel;     // ports: audio.channel
};

/// One link: an output port of a stream into an input port of the capture node.
struct LinkEnds {
  uint32_t outNode = 0, outPort = 0, inNode = 0, inPort = 0;
};

/// What the bookkeeping asks of the daemon. Answers (infos) come back asynchronously through
/// StreamGraph's event methods.
class GraphPort {
 public:
  virtual ~GraphPort() = default;
  /// Binds global `id` so that its full properties arrive as an info event.
  virtual void bind(uint32_t id, ObjectKind kind) = 0;
  /// Drops a binding made by bind().
  virtual void unbind(uint32_t id) = 0;
  /// Asks for a link; returns a handle for unlink(), or 0 when the request could not be made.
  virtual uint64_t link(const LinkEnds& ends) = 0;
  /// Removes a link made by link().
  virtual void unlink(uint64_t handle) = 0;
};

/// The registry as the capture sees it. Events arrive in the daemon's order; ids are reused
/// after their removal, so everything about an id is forgotten when it goes.
class StreamGraph {
 public:
  StreamGraph(GraphPort& port, std::vector<int32_t> excludedPids, ParentOf parentOf = procParentOf);
  StreamGraph(const StreamGraph&) = delete;
  StreamGraph& operator=(const StreamGraph&) = delete;

  void addGlobal(uint32_t id, const GlobalFacts& facts);
  void removeGlobal(uint32_t id);
  void clientInfo(uint32_t id, const ClientFacts& facts);
  void nodeInfo(uint32_t id, const StreamNodeInfo& facts);
  /// A property of the "default" or "settings" metadata (their keys do not overlap).
  void metadataProperty(const char* key, const char* value);
  void setCoreRate(uint32_t rate) { coreRate_ = rate; }

  /// Makes node `id` the capture node: its input ports FL and FR (known now or announced
  /// later) receive every capturable stream.
  void adoptCaptureNode(uint32_t id);
  /// The capture node's id once both its input ports are known.
  std::optional<uint32_t> captureNode() const;

  /// The daemon refused link `handle` or removed it without our asking: it is released and
  /// forgotten, so the next relink() makes it again while both its ports are there. A link the
  /// daemon has lost kLinkAttempts times is left alone until one of its ports goes.
  void linkLost(uint64_t handle);
  /// Makes every link that should exist and does not.
  void relink() { reconcile(); }
  static constexpr int kLinkAttempts = 3;

  /// Removes every link made.
  void dropLinks();
  /// Releases every link and binding and forgets the whole registry (the connection is going
  /// away); the excluded pids stay for the next connection.
  void reset();

  /// The default sink's node id, from the "default" metadata.
  std::optional<uint32_t> defaultSink() const;
  /// A node's node.name; empty when unknown.
  std::string nodeName(uint32_t id) const;
  /// The graph rate: forced, else configured, else the core's default, else 48 kHz.
  double graphRate() const;

 private:
  struct Node {
    GlobalFacts global;
    std::optional<StreamNodeInfo> info;  // arrives for playback streams only, the ones bound
  };

  void bind(uint32_t id, ObjectKind kind);
  /// The capture node's input port FL (left) or FR (right), once known.
  std::optional<uint32_t> capturePort(bool right) const;
  void reconcile();
  bool captures(const Node& node, const ParentOf& parentOf) const;
  void link(uint32_t outPort, uint32_t outNode, uint32_t inPort);

  GraphPort& port_;
  std::vector<int32_t> excluded_;
  ParentOf parentOf_;
  std::set<uint32_t> bound_;
  std::map<uint32_t, std::optional<ClientFacts>> clients_;  // empty until its info arrives
  std::map<uint32_t, Node> nodes_;
  std::map<uint32_t, GlobalFacts> ports_;
  std::map<std::pair<uint32_t, uint32_t>, uint64_t> links_;  // (stream port, our port)
  std::map<std::pair<uint32_t, uint32_t>, int> lost_;        // times each link was lost
  std::optional<uint32_t> captureId_;
  std::string defaultSinkName_;
  uint32_t settingsRate_ = 0, forcedRate_ = 0, coreRate_ = 0;
};

}  // namespace lorvane::audio
