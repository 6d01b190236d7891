#include "audio/tests/converter_quality.h"

#include <algorithm>
#include <span>

#include "audio/io_block.h"
#include "audio/mixdown.h"

namespace lorvane::audio::testing {
namespace {

std::span<const int16_t> steady(const std::vector<int16_t>& out) {
  const size_t edge = 800;  // 50 ms at 16 kHz
  if (out.size() <= 2 * edge) return {};
  return std::span<const int16_t>(out).subspan(edge, out.size() - 2 * edge);
}

}  // namespace

std::vector<int16_t> convertAll(const std::vector<float>& input, double rate, size_t block) {
  auto converter = Converter::make(rate);
  std::vector<int16_t> all;
  for (size_t at = 0; at < input.size(); at += block) {
    const size_t n = std::min(block, input.size() - at);
    std::vector<float> mono(input.begin() + long(at), input.begin() + long(at + n));
    std::vector<int16_t> out(*outputCapacity(uint32_t(n), rate));
    bool handedOver = false;
    const size_t got = converter->convert(out, inputBlock(handedOver, mono));
    all.insert(all.end(), out.begin(), out.begin() + long(got));
  }
  const auto tail = converter->drain();
  all.insert(all.end(), tail.begin(), tail.end());
  return all;
}

double toneGainDb(double freq, double rate, double amplitude) {
  const auto out = convertAll(sine(freq, rate, 1.0, amplitude), rate, 1024);
  const ToneFit fit = fitTone(steady(out), freq, 16000.0);
  return dB(fit.amplitude / (amplitude * 32768.0));
}

double toneSnrDb(double freq, double rate, double amplitude) {
  const auto out = convertAll(sine(freq, rate, 1.0, amplitude), rate, 1024);
  const ToneFit fit = fitTone(steady(out), freq, 16000.0);
  return dB((fit.amplitude / std::sqrt(2.0)) / fit.residualRms);
}

double rejectionDb(double freq, double rate, double amplitude) {
  const auto out = convertAll(sine(freq, rate, 1.0, amplitude), rate, 1024);
  const auto part = steady(out);
  double energy = 0;
  for (const int16_t s : part) energy += double(s) * s;
  const double rms = std::sqrt(energy / double(std::max<size_t>(part.size(), 1)));
  if (rms == 0) return 200;
  return -dB(rms * std::sqrt(2.0) / (amplitude * 32768.0));
}

}  // namespace lorvane::audio::testing
