#pragma once

// Internal to the PipeWire backend: the connection, the registry watcher and the links.

#include <pipewire/extensions/metadata.h>
#include <pipewire/pipewire.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/audio_platform.h"
#include "audio/platform/link_policy.h"
#include "audio/platform/pipewire_audio.h"

namespace lorvane::audio {

/// The connection to the daemon on its own thread loop ("lorvane.pw"), and what the registry
/// tells about clients, nodes, ports and metadata. Everything here is touched on the loop
/// thread or with the loop locked.
struct PipeWireAudio::Session {
  struct Bound {  // a proxy bound to learn an object's full properties
    pw_proxy* proxy = nullptr;
    spa_hook listener{};
    ~Bound();
  };
  struct Client {
    std::optional<int32_t> pid, secPid;
    bool pulse = false;
    bool ready = false;
    Bound bound;
  };
  struct Node {
    std::string name, mediaClass;
    std::optional<uint32_t> clientId;
    StreamNodeInfo info;
    bool ready = false;  // its info event has arrived (playback streams only)
    Bound bound;
  };
  struct Port {
    uint32_t nodeId = 0;
    bool output = false, monitor = false;
    std::string channel;
  };
  struct Metadata {
    std::string name;
    Bound bound;
  };

  ~Session();

  /// Connects and learns the current graph. A failure status is a negative errno.
  OSStatus connect();
  /// Waits (loop locked) until the daemon has handled everything sent so far.
  bool roundtrip(int timeoutMs);
  /// Links every capturable stream port into the capture node's inputs.
  void reconcile();
  /// Removes our links; what the capture node held is removed with it by the daemon.
  void dropLinks();

  double graphRate() const;
  std::optional<uint32_t> defaultSinkId() const;

  pw_thread_loop* loop = nullptr;
  pw_context* context = nullptr;
  pw_core* core = nullptr;
  spa_hook coreListener{};
  pw_registry* registry = nullptr;
  spa_hook registryListener{};
  int pendingSeq = -1;
  bool synced = false;
  int coreError = 0;

  std::vector<int32_t> excludedPids;
  uint32_t captureNodeId = SPA_ID_INVALID;
  uint32_t captureLeft = SPA_ID_INVALID, captureRight = SPA_ID_INVALID;  // our input ports

  std::map<uint32_t, std::unique_ptr<Client>> clients;
  std::map<uint32_t, std::unique_ptr<Node>> nodes;
  std::map<uint32_t, Port> ports;
  std::map<uint32_t, std::unique_ptr<Metadata>> metadata;
  std::map<std::pair<uint32_t, uint32_t>, pw_proxy*> links;  // (stream port, our port)
  std::string defaultSinkName;
  uint32_t settingsRate = 0, forcedRate = 0, coreRate = 0;

  // Registry and object callbacks (loop thread).
  void onGlobal(uint32_t id, const char* type, const spa_dict* props);
  void onGlobalRemove(uint32_t id);
  void onMetadata(const char* key, const char* value);
  void link(uint32_t outPort, uint32_t outNode, uint32_t inPort);
  bool captures(const Node& node) const;
};

}  // namespace lorvane::audio
