#pragma once

// Include from .cpp files only: every includer can write every value here.

#include <memory>
#include <string>

#include "audio/audio_platform.h"
#include "audio/converter.h"
#include "audio/pcm_output.h"
#include "audio/tap_queue.h"

namespace lorvane::audio {

// The audio mode's process-wide values. The setup writes them on the main thread before the
// capture starts; afterwards they are only read, except `announced` (the "lorvane.tap" thread
// only) and `converter`, which that thread rebuilds when the graph rate changes.
// The process ends with _exit, so none of them is ever destroyed under a running thread.

/// The sound system; set once, before the setup.
inline AudioPlatform* platform = nullptr;

inline AudioObjectID tapID = 0;
inline AudioObjectID aggID = 0;
inline AudioObjectID outDev = 0;
inline std::string outUID;
inline std::unique_ptr<Converter> converter;

/// Standard output for the samples (set when the capture starts). Lives until `_exit`: its
/// writer thread may still be writing when the process ends.
inline PcmOutput* stdoutHandle = nullptr;
/// The serial queue "lorvane.tap" (set when the capture starts). Lives until `_exit`: the
/// real-time thread pushes into it until the process ends.
inline TapQueue* queue = nullptr;
/// "READY" has been written.
inline bool announced = false;

}  // namespace lorvane::audio
