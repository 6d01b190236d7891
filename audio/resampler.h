#pragma once

#include <cstddef>
#include <memory>
#include <span>

namespace lorvane::audio {

/// A streaming mono float resampler. Keeps its filter state from one call to the next, so
/// successive blocks are one continuous signal.
class Resampler {
 public:
  virtual ~Resampler() = default;

  struct Result {
    size_t consumed = 0;
    size_t produced = 0;
  };
  /// Resamples as much of `in` as fits into `out`. An empty `in` with `endOfInput` flushes
  /// what the filter still holds.
  virtual Result process(std::span<const float> in, std::span<float> out,
                         bool endOfInput = false) = 0;
};

/// The platform's resampler (libsoxr, high quality, linear phase); nothing when it refuses
/// the rates.
std::unique_ptr<Resampler> makeResampler(double inputRate, double outputRate);

}  // namespace lorvane::audio
