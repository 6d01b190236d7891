#include "windows/recognition_input.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <utility>

namespace lorvane {
namespace {

// A pixel at least this far from the background level counts as ink.
constexpr int kInkContrast = 64;
// Text lines whose band of rows is lower than this are enlarged by kSmallTextFactor
// (chosen with bench/ocr: see the README).
constexpr int64_t kSmallTextHeight = 15;
constexpr int kSmallTextFactor = 2;

}  // namespace

bool isInkRow(const GrayImage& gray, int64_t y, uint8_t paper) {
  const uint8_t* row = gray.pixels.data() + y * gray.width;
  for (int64_t x = 0; x < gray.width; ++x) {
    if (std::abs(int{row[x]} - int{paper}) >= kInkContrast) return true;
  }
  return false;
}

GrayImage toGray(const Image& image) {
  GrayImage gray{image.width, image.height, {}};
  gray.pixels.resize(image.pixels.size());
  for (size_t i = 0; i < image.pixels.size(); ++i) {
    const uint32_t p = image.pixels[i];
    const uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    gray.pixels[i] = static_cast<uint8_t>((r * 299 + g * 587 + b * 114 + 500) / 1000);
  }
  return gray;
}

uint8_t backgroundLevel(const GrayImage& gray) {
  std::array<size_t, 256> counts{};
  for (uint8_t v : gray.pixels) ++counts[v];
  return static_cast<uint8_t>(std::max_element(counts.begin(), counts.end()) - counts.begin());
}

int64_t typicalLineHeight(const GrayImage& gray, uint8_t background) {
  std::vector<int64_t> bands;
  int64_t run = 0;
  for (int64_t y = 0; y <= gray.height; ++y) {
    if (y < gray.height && isInkRow(gray, y, background)) {
      ++run;
    } else {
      if (run >= 3) bands.push_back(run);
      run = 0;
    }
  }
  if (bands.empty()) return 0;
  std::nth_element(bands.begin(), bands.begin() + static_cast<std::ptrdiff_t>(bands.size() / 2),
                   bands.end());
  return bands[bands.size() / 2];
}

GrayImage upscale(const GrayImage& gray, int factor) {
  if (factor <= 1 || gray.width == 0 || gray.height == 0) return gray;
  GrayImage out{gray.width * factor, gray.height * factor, {}};
  out.pixels.resize(static_cast<size_t>(out.width * out.height));
  // Source position of output pixel i: (i + 0.5) / factor - 0.5, in 1/(2*factor) steps.
  const int64_t den = 2 * factor;
  auto source = [&](int64_t i, int64_t size, int64_t& lo, int64_t& hi, int64_t& frac) {
    const int64_t pos = std::max<int64_t>(0, 2 * i + 1 - factor);  // times den
    lo = std::min(pos / den, size - 1);
    hi = std::min(lo + 1, size - 1);
    frac = pos % den;
  };
  for (int64_t y = 0; y < out.height; ++y) {
    int64_t y0, y1, fy;
    source(y, gray.height, y0, y1, fy);
    const uint8_t* r0 = gray.pixels.data() + y0 * gray.width;
    const uint8_t* r1 = gray.pixels.data() + y1 * gray.width;
    uint8_t* dst = out.pixels.data() + y * out.width;
    for (int64_t x = 0; x < out.width; ++x) {
      int64_t x0, x1, fx;
      source(x, gray.width, x0, x1, fx);
      const int64_t top = r0[x0] * (den - fx) + r0[x1] * fx;
      const int64_t bottom = r1[x0] * (den - fx) + r1[x1] * fx;
      dst[x] = static_cast<uint8_t>((top * (den - fy) + bottom * fy + den * den / 2) / (den * den));
    }
  }
  return out;
}

PreparedImage prepareForRecognition(const Image& image) {
  GrayImage gray = toGray(image);
  const uint8_t background = backgroundLevel(gray);
  if (background < 128) {
    for (uint8_t& v : gray.pixels) v = static_cast<uint8_t>(255 - v);
  }
  const auto paper = static_cast<uint8_t>(background < 128 ? 255 - background : background);
  const int64_t lineHeight = typicalLineHeight(gray, paper);
  if (lineHeight > 0 && lineHeight < kSmallTextHeight) {
    return {upscale(gray, kSmallTextFactor), kSmallTextFactor, paper};
  }
  return {std::move(gray), 1, paper};
}

}  // namespace lorvane
