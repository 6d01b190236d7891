#pragma once

// Internal to the PipeWire backend: the capture node and its real-time callback.

#include <pipewire/filter.h>
#include <pipewire/pipewire.h>

#include <time.h>

#include <atomic>
#include <string>

#include "audio/audio_platform.h"

namespace lorvane::audio {

/// CLOCK_MONOTONIC in nanoseconds; safe on the real-time thread (vDSO: no system call).
inline int64_t monotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

/// The names the capture node carries.
struct CaptureNodeNames {
  std::string name, description, uid, tapUUID;
};

/// The pw_filter "LORVANE-Tap" with the inputs FL and FR. Created and destroyed with the
/// session's loop locked.
struct CaptureNode {
  /// Makes and connects the filter (inactive). A failure status is a negative errno.
  OSStatus create(pw_core* core, const CaptureNodeNames& names);
  ~CaptureNode();
  /// The loop whose thread runs the node's real-time callback: newer PipeWire gives each node
  /// one of several data loops; before 1.1 there is only the context's.
  pw_loop* dataLoop(pw_context* context) const;

  pw_filter* filter = nullptr;
  spa_hook listener{};
  void* ports[2] = {nullptr, nullptr};
  std::atomic<IOQueue*> queue{nullptr};
  double fallbackRate = 48000;
  /// CLOCK_MONOTONIC time of the last cycle: where silence starts if the daemon goes away.
  std::atomic<int64_t> lastCycleNs{0};
};

}  // namespace lorvane::audio
