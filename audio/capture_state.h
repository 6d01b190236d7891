#pragma once

#include <memory>
#include <string>

#include "audio/audio_format.h"
#include "audio/converter.h"
#include "audio/pcm_output.h"
#include "audio/audio_platform.h"

namespace lorvane::audio {

// The audio mode's process-wide values. The setup writes them on the main thread before the
// capture starts; afterwards they are only read, except `announced` (the "lorvane.tap" thread
// only) and `converter`/`monoFmt`, which that thread rebuilds when the graph rate changes.
// The process ends with _exit, so none of them is ever destroyed under a running thread.

/// The sound system; set once, before the setup.
inline AudioPlatform* platform = nullptr;

inline AudioObjectID tapID = 0;
inline AudioObjectID aggID = 0;
inline OSStatus err = 0;
inline AudioObjectID outDev = 0;
inline std::string outUID;
inline AudioStreamBasicDescription asbd;
inline AudioFormat outFmt;
inline AudioFormat monoFmt;
inline std::unique_ptr<Converter> converter;

/// Standard output for the samples (set when the capture starts).
inline PcmOutput* stdoutHandle = nullptr;
/// "READY" has been written.
inline bool announced = false;

}  // namespace lorvane::audio
