#include "audio/audio_format.h"

#include <cmath>

namespace lorvane::audio {

std::optional<AudioFormat> formatFromStreamDescription(const AudioStreamBasicDescription& asbd) {
  if (asbd.mFormatID != kAudioFormatLinearPCM) return std::nullopt;
  if (!std::isfinite(asbd.mSampleRate) || asbd.mSampleRate <= 0) return std::nullopt;
  if (asbd.mChannelsPerFrame < 1 || asbd.mChannelsPerFrame > 64) return std::nullopt;
  const uint32_t flags = asbd.mFormatFlags;
  if (!(flags & kAudioFormatFlagIsFloat) || (flags & kAudioFormatFlagIsBigEndian) ||
      asbd.mBitsPerChannel != 32) {
    return std::nullopt;
  }
  return AudioFormat{.sampleRate = asbd.mSampleRate,
                     .channelCount = asbd.mChannelsPerFrame,
                     .interleaved = !(flags & kAudioFormatFlagIsNonInterleaved)};
}

}  // namespace lorvane::audio
