#include "audio/converter.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace lorvane::audio {

int16_t toInt16(float sample) {
  if (std::isnan(sample)) return 0;
  const float scaled = std::nearbyint(sample * 32768.0f);
  return static_cast<int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
}

std::unique_ptr<Converter> Converter::make(double inputRate) {
  if (!std::isfinite(inputRate) || inputRate <= 0) return nullptr;
  auto resampler = makeResampler(inputRate, kOutputRate);
  if (!resampler) return nullptr;
  return std::unique_ptr<Converter>(new Converter(inputRate, std::move(resampler)));
}

void Converter::resample(std::span<const float> in) {
  // Room for the whole block at once plus the filter's tail; the loop covers the rest.
  const size_t room = static_cast<size_t>(in.size() * kOutputRate / inputRate_) + 256;
  if (scratch_.size() < room) scratch_.resize(room);
  for (int idle = 0; idle < 2;) {
    const auto r = resampler_->process(in, scratch_);
    for (size_t i = 0; i < r.produced; ++i) pendingOut_.push_back(toInt16(scratch_[i]));
    in = in.subspan(r.consumed);
    if (in.empty() && r.produced < scratch_.size()) break;
    idle = (r.consumed == 0 && r.produced == 0) ? idle + 1 : 0;
  }
}

size_t Converter::convert(std::span<int16_t> out, const ConverterInputBlock& inputBlock) {
  for (;;) {
    auto status = ConverterInputStatus::NoDataNow;
    const auto input = inputBlock(static_cast<uint32_t>(out.size()), status);
    if (status != ConverterInputStatus::HaveData || !input) break;
    resample(*input);
  }
  const size_t n = std::min(out.size(), pendingOut_.size());
  std::copy_n(pendingOut_.begin(), n, out.begin());
  pendingOut_.erase(pendingOut_.begin(), pendingOut_.begin() + static_cast<std::ptrdiff_t>(n));
  return n;
}

std::vector<int16_t> Converter::drain() {
  if (scratch_.size() < 4096) scratch_.resize(4096);
  for (int i = 0; i < 64; ++i) {
    const auto r = resampler_->process({}, scratch_, true);
    if (r.produced == 0) break;
    for (size_t k = 0; k < r.produced; ++k) pendingOut_.push_back(toInt16(scratch_[k]));
  }
  return std::exchange(pendingOut_, {});
}

}  // namespace lorvane::audio
