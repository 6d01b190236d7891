#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "audio/audio_platform.h"

namespace lorvane::audio {

/// Averages the channels of `input` into `mono` (input.frames values). Per frame, in single
/// precision: the sum starts at +0.0, adds channel 0, 1, 2, ... one at a time, and is divided
/// once by the channel count. No scaling, clipping or dither. An interleaved list is read
/// from channels[0] only. A list without sample pointers leaves `mono` as silence.
void mixDown(const AudioBufferList& input, std::span<float> mono);

/// Room for the converted samples of one block: trunc(frames * 16000.0 / rate) + 32, in
/// double precision with the multiplication first. Nothing when the rule is undefined (rate
/// not positive and finite, or the result beyond 32 bits).
std::optional<uint32_t> outputCapacity(uint32_t frames, double sampleRate);

}  // namespace lorvane::audio
