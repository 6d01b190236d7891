#pragma once

#include <vector>

#include "audio/converter.h"
#include "audio/tests/tone.h"

namespace lorvane::audio::testing {

/// Runs `input` through a fresh Converter in blocks of `block` frames, the way the capture
/// callback does (capacity rule included), and returns every sample it gives, tail included.
std::vector<int16_t> convertAll(const std::vector<float>& input, double rate, size_t block);

/// Gain (dB) of a tone at `freq` through the converter: amplitude out / amplitude in.
/// The first and last 50 ms (filter transients) are left out.
double toneGainDb(double freq, double rate, double amplitude);

/// Signal-to-noise-and-distortion ratio (dB) of a tone through the converter.
double toneSnrDb(double freq, double rate, double amplitude);

/// How far below the input the converter's output lies for a tone it must reject (dB, a
/// positive number; "infinite" output of pure zeros reports 200).
double rejectionDb(double freq, double rate, double amplitude);

}  // namespace lorvane::audio::testing
