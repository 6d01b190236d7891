#pragma once

// Internal to the PipeWire backend: the connection, the registry watcher, the capture node,
// and keeping all three alive across a daemon that dies, restarts or freezes.

#include <pipewire/extensions/metadata.h>
#include <pipewire/filter.h>
#include <pipewire/pipewire.h>

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "audio/audio_platform.h"
#include "audio/platform/outage_watch.h"
#include "audio/platform/pipewire_capture_node.h"
#include "audio/platform/stream_graph.h"

namespace lorvane::audio {

/// The connection to the daemon on its own thread loop ("lorvane.pw"). Public methods lock the
/// loop; everything else runs on the loop thread. Once capture has started, a broken connection
/// (the daemon died: -EPIPE on the core), the capture node removed by the daemon, or, once the
/// graph has gone quiet, a ping left unanswered for a second (it is frozen) is an outage: the
/// connection is dropped, the queue gets silence at real-time pace from the last cycle on, and a
/// new connection (50 ms backoff doubling to 2 s) brings back a fresh capture node with every
/// capturable stream linked again (the rules in OutageWatch; their PipeWire side in
/// pipewire_outage.cpp).
class PipeWireSession : private GraphPort, private OutageLink {
 public:
  explicit PipeWireSession(std::vector<int32_t> excludedPids);
  ~PipeWireSession() override;
  PipeWireSession(const PipeWireSession&) = delete;
  PipeWireSession& operator=(const PipeWireSession&) = delete;

  /// Connects and learns the current graph. A failure status is a negative errno.
  OSStatus connect();
  /// Creates the capture node and adopts it once the daemon has registered it with both input
  /// ports; from then on every capturable stream is linked into it. `nodeId` receives its id.
  OSStatus openCaptureNode(const CaptureNodeNames& names, uint32_t& nodeId);
  /// Hands every cycle to `queue` and starts the node; the session now outlives outages.
  OSStatus start(IOQueue& queue);
  /// Destroys the capture node for good (no reconnect follows).
  void closeCaptureNode();
  /// Removes our links and waits (at most 200 ms) until the daemon has done all of it.
  void dropLinks();

  /// What `reader` makes of the registry bookkeeping, read with the loop locked.
  template <typename Reader>
  auto read(Reader reader) {
    const LoopLock held = lock();
    return reader(std::as_const(graph_));
  }

 private:
  // The thread loop's lock, held until the handle goes.
  using LoopLock = std::unique_ptr<pw_thread_loop, decltype(&pw_thread_loop_unlock)>;
  LoopLock lock() {
    pw_thread_loop_lock(loop_);
    return LoopLock(loop_, pw_thread_loop_unlock);
  }
  /// A proxy bound to learn an object's full properties; its events go to the session.
  struct Bound {
    pw_proxy* proxy = nullptr;
    spa_hook listener{};
    ~Bound() {
      spa_hook_remove(&listener);
      pw_proxy_destroy(proxy);
    }
  };
  /// A link asked for by link(); the daemon refusing or removing it comes back as onLinkLost.
  struct LinkProxy {
    PipeWireSession* session = nullptr;
    uint64_t handle = 0;
    pw_proxy* proxy = nullptr;
    spa_hook listener{};
    ~LinkProxy() {
      spa_hook_remove(&listener);
      pw_proxy_destroy(proxy);
    }
  };
  // GraphPort, on the loop thread.
  void bind(uint32_t id, ObjectKind kind) override;
  void unbind(uint32_t id) override;
  uint64_t link(const LinkEnds& ends) override;
  void unlink(uint64_t handle) override;

  // Connection and capture node (pipewire_session.cpp).
  bool openConnection();
  void closeConnection();
  bool roundtrip(int timeoutMs);
  OSStatus createNode();
  void destroyNode();
  void adoptNode();

  // OutageLink, on the loop thread (pipewire_outage.cpp).
  int64_t now() override;
  int64_t lastCycleNs() override;
  void armTick(int64_t everyMs) override;
  void ping() override;
  bool open() override;
  void close(bool detach) override;
  void resume() override;
  void pushSilence(uint32_t frames, double rate) override;
  double graphRate() override;
  /// Starts the tick's timer and the watch.
  void watch();

  // The daemon's events, routed into the session (and StreamGraph) on the loop thread
  // (pipewire_events.cpp).
  static const pw_core_events kCore;
  static const pw_registry_events kRegistry;
  static const pw_client_events kClient;
  static const pw_node_events kNode;
  static const pw_metadata_events kMetadata;
  static const pw_filter_events kCaptureNode;  // state changes: the node may be adoptable
  static const pw_proxy_events kLink;

  // Event entry points (loop thread).
  void onDone(int seq);
  void onError(int res);
  void onNodeLost();
  void onLinkLost(uint64_t handle);

  pw_thread_loop* loop_ = nullptr;
  pw_context* context_ = nullptr;
  pw_core* core_ = nullptr;
  spa_hook coreListener_{};
  pw_registry* registry_ = nullptr;
  spa_hook registryListener_{};
  std::map<uint32_t, std::unique_ptr<Bound>> bound_;
  std::map<uint64_t, std::unique_ptr<LinkProxy>> links_;
  uint64_t lastLink_ = 0;
  // Links the daemon refused or removed, released and made again once a sync has brought in
  // whatever else it removed with them (a player's port goes after its links).
  std::vector<uint64_t> lostLinks_;
  int relinkSeq_ = -1;
  StreamGraph graph_;

  CaptureNodeNames names_;
  std::unique_ptr<CaptureNode> node_;
  spa_hook nodeListener_{};
  IOQueue* queue_ = nullptr;

  int syncSeq_ = -1;  // a roundtrip from a public method
  bool synced_ = false;
  int coreError_ = 0;

  // Outage handling, from start() on.
  OutageWatch watch_{*this};
  spa_source* tick_ = nullptr;
  int pingSeq_ = -1;  // the ping in flight, or the new connection's first sync
};

}  // namespace lorvane::audio
