#pragma once

#include <cstddef>
#include <memory>
#include <span>

namespace lorvane::audio {

/// A streaming mono float resampler (libsoxr, high quality, linear phase). Keeps its filter
/// state from one call to the next, so successive blocks are one continuous signal.
class SoxrResampler {
 public:
  /// Nothing when libsoxr refuses the rates.
  static std::unique_ptr<SoxrResampler> make(double inputRate, double outputRate);
  ~SoxrResampler();
  SoxrResampler(const SoxrResampler&) = delete;
  SoxrResampler& operator=(const SoxrResampler&) = delete;

  struct Result {
    size_t consumed = 0;
    size_t produced = 0;
  };
  /// Resamples as much of `in` as fits into `out`. An empty `in` with `endOfInput` flushes
  /// what the filter still holds.
  Result process(std::span<const float> in, std::span<float> out, bool endOfInput = false);

 private:
  explicit SoxrResampler(void* handle) : handle_(handle) {}
  void* handle_;
};

}  // namespace lorvane::audio
