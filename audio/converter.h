#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "audio/resampler.h"

namespace lorvane::audio {

enum class ConverterInputStatus : int { HaveData = 0, NoDataNow = 1 };

/// The converter's input callback: returns mono samples with HaveData, or nothing with
/// NoDataNow. The packet count asked for is a hint only.
using ConverterInputBlock = std::function<std::optional<std::span<const float>>(
    uint32_t packetCount, ConverterInputStatus& status)>;

/// float mono at the tap's rate -> signed 16-bit mono at 16 kHz. State carries over from call
/// to call; end of stream is only signalled by drain(). Samples are scaled by 32768, rounded
/// to nearest (ties to even), clipped to [-32768, 32767]; no dither, so silence stays 0.
class Converter {
 public:
  static constexpr double kOutputRate = 16000.0;

  /// Nothing when no resampler can be made for the rate.
  static std::unique_ptr<Converter> make(double inputRate);

  double inputRate() const { return inputRate_; }

  /// Pulls input from `inputBlock` until it reports NoDataNow, and writes up to out.size()
  /// samples. Input or output that does not fit waits inside for the next call, so nothing is
  /// lost. Returns the number of samples written.
  size_t convert(std::span<int16_t> out, const ConverterInputBlock& inputBlock);

  /// Ends the signal: everything still held (input, filter tail, output) as samples.
  std::vector<int16_t> drain();

  /// Converted samples waiting for room in a later call's output.
  size_t pendingSamples() const { return pendingOut_.size(); }

 private:
  Converter(double inputRate, std::unique_ptr<Resampler> resampler)
      : inputRate_(inputRate), resampler_(std::move(resampler)) {}
  void resample(std::span<const float> in);

  double inputRate_;
  std::unique_ptr<Resampler> resampler_;
  std::vector<float> scratch_;
  std::vector<int16_t> pendingOut_;  // converted, waiting for room in an output buffer
};

/// One float sample (full scale +-1.0) as a 16-bit sample by the rule above; NaN gives 0.
int16_t toInt16(float sample);

}  // namespace lorvane::audio
