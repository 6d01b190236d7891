#include "audio/mixdown.h"

#include <algorithm>
#include <cmath>

namespace lorvane::audio {

void mixDown(const AudioBufferList& input, std::span<float> mono) {
  const uint32_t ch = input.channelCount;
  const size_t frames = std::min<size_t>(input.frames, mono.size());
  // Interleaved, every sample is in channels[0]; planar, channel c is in channels[c].
  const uint32_t lists = input.interleaved ? 1 : ch;
  bool complete = ch > 0 && input.channels != nullptr;
  for (uint32_t c = 0; complete && c < lists; ++c) complete = input.channels[c] != nullptr;
  if (!complete) {
    std::fill(mono.begin(), mono.end(), 0.0f);
    return;
  }
  const float divisor = static_cast<float>(ch);
  // One loop for both layouts, made twice so that the layout is not asked for every sample.
  auto sum = [&](auto sample) {
    for (size_t i = 0; i < frames; ++i) {
      float total = +0.0f;
      for (uint32_t c = 0; c < ch; ++c) total += sample(i, c);
      mono[i] = total / divisor;
    }
  };
  if (input.interleaved) {
    sum([&](size_t i, uint32_t c) { return input.channels[0][i * ch + c]; });
  } else {
    sum([&](size_t i, uint32_t c) { return input.channels[c][i]; });
  }
}

std::optional<uint32_t> outputCapacity(uint32_t frames, double sampleRate) {
  if (!std::isfinite(sampleRate) || sampleRate <= 0) return std::nullopt;
  const double r = (static_cast<double>(frames) * 16000.0) / sampleRate;
  if (!std::isfinite(r) || r >= 4294967296.0 - 32.0) return std::nullopt;
  return static_cast<uint32_t>(r) + 32;
}

}  // namespace lorvane::audio
