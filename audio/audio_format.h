#pragma once

#include <cstdint>
#include <optional>

#include "audio/audio_platform.h"

namespace lorvane::audio {

/// A 32-bit float PCM format: rate, channel count, interleaving.
struct AudioFormat {
  double sampleRate = 0;
  uint32_t channelCount = 0;
  bool interleaved = false;
};

/// The format of a tap's stream description, or nothing when the capture path cannot use it.
/// Only native-endian 32-bit float linear PCM with a positive finite rate and 1 to 64 channels
/// is taken: the mix-down reads 32-bit floats and nothing else.
std::optional<AudioFormat> formatFromStreamDescription(const AudioStreamBasicDescription& asbd);

}  // namespace lorvane::audio
