#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <span>
#include <string>
#include <vector>

namespace lorvane::audio::testing {

/// Least-squares fit of a sine of known frequency (plus a constant) to a signal.
struct ToneFit {
  double amplitude = 0;    // of the fitted sine, in the signal's units
  double residualRms = 0;  // of what the sine and the constant leave over
  double rms = 0;          // of the whole signal
};

template <class Sample>
ToneFit fitTone(std::span<const Sample> x, double freq, double rate) {
  // Normal equations for x[n] ~ a cos(wn) + b sin(wn) + c.
  double m[3][3] = {}, v[3] = {};
  const double w = 2 * std::numbers::pi * freq / rate;
  double energy = 0;
  for (size_t n = 0; n < x.size(); ++n) {
    const double basis[3] = {std::cos(w * double(n)), std::sin(w * double(n)), 1.0};
    const double value = double(x[n]);
    energy += value * value;
    for (int i = 0; i < 3; ++i) {
      v[i] += basis[i] * value;
      for (int j = 0; j < 3; ++j) m[i][j] += basis[i] * basis[j];
    }
  }
  // Gaussian elimination; the system is well conditioned for any tone away from 0 and rate/2.
  for (int i = 0; i < 3; ++i) {
    for (int k = i + 1; k < 3; ++k) {
      const double f = m[k][i] / m[i][i];
      for (int j = i; j < 3; ++j) m[k][j] -= f * m[i][j];
      v[k] -= f * v[i];
    }
  }
  double c[3];
  for (int i = 2; i >= 0; --i) {
    double s = v[i];
    for (int j = i + 1; j < 3; ++j) s -= m[i][j] * c[j];
    c[i] = s / m[i][i];
  }
  double residual = 0;
  for (size_t n = 0; n < x.size(); ++n) {
    const double fit = c[0] * std::cos(w * double(n)) + c[1] * std::sin(w * double(n)) + c[2];
    residual += (double(x[n]) - fit) * (double(x[n]) - fit);
  }
  const double count = x.empty() ? 1.0 : double(x.size());
  return {std::hypot(c[0], c[1]), std::sqrt(residual / count), std::sqrt(energy / count)};
}

/// A sine of `amplitude` (full scale 1.0) at `freq`, `seconds` long.
inline std::vector<float> sine(double freq, double rate, double seconds, double amplitude) {
  std::vector<float> out(static_cast<size_t>(rate * seconds));
  for (size_t n = 0; n < out.size(); ++n) {
    out[n] = float(amplitude * std::sin(2 * std::numbers::pi * freq * double(n) / rate));
  }
  return out;
}

/// Little-endian s16 bytes as samples.
inline std::vector<int16_t> samplesOf(const std::string& bytes) {
  std::vector<int16_t> out(bytes.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) {
    out[i] = int16_t(uint16_t(uint8_t(bytes[2 * i])) | uint16_t(uint8_t(bytes[2 * i + 1])) << 8);
  }
  return out;
}

inline double dB(double ratio) {
  return 20 * std::log10(ratio);
}

}  // namespace lorvane::audio::testing
