#pragma once

// Internal to the PipeWire backend: the C event tables that route the daemon's events into
// PipeWireSession (and StreamGraph) on the loop thread.

#include <pipewire/extensions/metadata.h>
#include <pipewire/filter.h>
#include <pipewire/pipewire.h>

namespace lorvane::audio {

struct PipeWireEvents {
  static const pw_core_events kCore;
  static const pw_registry_events kRegistry;
  static const pw_client_events kClient;
  static const pw_node_events kNode;
  static const pw_metadata_events kMetadata;
  static const pw_filter_events kCaptureNode;  // state changes: the node may be adoptable
};

}  // namespace lorvane::audio
