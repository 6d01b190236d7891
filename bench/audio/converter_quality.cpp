// Converter quality: tones through the capture path's converter code (mix-down output at the
// graph rate -> 16 kHz s16), in blocks as the capture callback hands them over.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "audio/resampler.h"
#include "audio/tests/converter_quality.h"
#include "audio/tests/tone.h"

using namespace lorvane::audio;
using namespace lorvane::audio::testing;

namespace {

// The resampler's own stop-band rejection, before the 16-bit rounding hides it.
double floatRejectionDb(double freq, double rate) {
  auto resampler = makeResampler(rate, 16000);
  const auto in = sine(freq, rate, 1.0, 1.0);
  std::vector<float> out(in.size());
  const auto r = resampler->process(in, out);
  double energy = 0;
  size_t n = 0;
  for (size_t i = 800; i + 800 < r.produced; ++i, ++n) energy += double(out[i]) * out[i];
  const double rms = std::sqrt(energy / double(std::max<size_t>(n, 1)));
  return rms == 0 ? 300 : -dB(rms * std::sqrt(2.0));
}

}  // namespace

int main() {
  for (const double rate : {48000.0, 44100.0}) {
    std::printf("graph rate %.0f Hz\n", rate);
    double worst = 0;
    for (double f = 50; f <= 7000; f += f < 1000 ? 50 : 250) {
      worst = std::max(worst, std::abs(toneGainDb(f, rate, 0.5)));
    }
    std::printf("  passband 50 Hz..7 kHz: max deviation %.4f dB (target <= 0.1)\n", worst);
    double minInt = 1e9, minFloat = 1e9, atFloat = 0;
    for (double f = 8500; f < rate / 2; f += 250) {
      minInt = std::min(minInt, rejectionDb(f, rate, 0.99));
      const double fr = floatRejectionDb(f, rate);
      if (fr < minFloat) minFloat = fr, atFloat = f;
    }
    if (minInt >= 200) {
      std::printf(
          "  rejection 8.5 kHz..%.1f kHz, s16 output: every sample 0, i.e. more than "
          "96 dB below a -0.1 dBFS tone (target >= 90)\n",
          rate / 2000);
    } else {
      std::printf("  rejection 8.5 kHz..%.1f kHz, s16 output: min %.1f dB (target >= 90)\n",
                  rate / 2000, minInt);
    }
    std::printf("  rejection of the filter before rounding: min %.1f dB at %.0f Hz\n", minFloat,
                atFloat);
    std::printf("  1 kHz (997 Hz) SNR at -1 dBFS: %.1f dB (target >= 85)\n",
                toneSnrDb(997, rate, 0.891));
  }
}
