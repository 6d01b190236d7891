#include "windows/ocr/recognition_input.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <utility>

namespace lorvane {
namespace {

// Line heights are measured in strips of this width, so that a frame or a vertical rule in one
// place does not join all the rows beside it into one band.
constexpr int64_t kStripWidth = 48;
// Anti-aliased text lower than this (in rows of its band) is enlarged 2x, bilinear; bitmap text
// is doubled, crisp, until it reaches kBitmapTextHeight. Chosen with bench/ocr (the rendered
// pages and the real windows): see docs/notes-ocr.md.
constexpr int64_t kSmallTextHeight = 15;
constexpr int64_t kBitmapTextHeight = 20;
constexpr int kMaxFactor = 4;
// Text counts as bitmap text when fewer than 1 in kCrispRatio of its edges has a ramp pixel.
constexpr int64_t kCrispRatio = 10;

// Band heights of ink rows within one strip of columns [left, right).
void stripBands(const GrayImage& gray, uint8_t paper, int64_t left, int64_t right,
                std::vector<int64_t>& bands) {
  int64_t run = 0;
  for (int64_t y = 0; y <= gray.height; ++y) {
    bool ink = false;
    const uint8_t* row = gray.pixels.data() + y * gray.width;
    for (int64_t x = left; y < gray.height && x < right && !ink; ++x) {
      ink = std::abs(int{row[x]} - int{paper}) >= kInkContrast;
    }
    if (ink) {
      ++run;
    } else {
      if (run >= 3) bands.push_back(run);
      run = 0;
    }
  }
}

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

int64_t typicalLineHeight(const GrayImage& gray, uint8_t paper) {
  std::vector<int64_t> bands;
  for (int64_t left = 0; left < gray.width; left += kStripWidth) {
    stripBands(gray, paper, left, std::min(gray.width, left + kStripWidth), bands);
  }
  if (bands.empty()) return 0;
  // A strip of a line holds a tall letter more often than not; the upper quartile is the height
  // of the line's band, with ascenders and descenders.
  const auto upper = bands.begin() + static_cast<std::ptrdiff_t>(bands.size() * 3 / 4);
  std::nth_element(bands.begin(), upper, bands.end());
  return *upper;
}

bool hasCrispEdges(const GrayImage& gray) {
  int64_t edges = 0, ramps = 0;
  for (int64_t y = 0; y < gray.height; ++y) {
    const uint8_t* row = gray.pixels.data() + y * gray.width;
    for (int64_t x = 1; x + 1 < gray.width; ++x) {
      const int lo = std::min(row[x - 1], row[x + 1]), hi = std::max(row[x - 1], row[x + 1]);
      if (hi - lo < kInkContrast) continue;
      ++edges;
      if (row[x] > lo + kInkContrast / 3 && row[x] < hi - kInkContrast / 3) ++ramps;
    }
  }
  return edges > 0 && ramps * kCrispRatio < edges;
}

Enlargement enlargementFor(int64_t lineHeight, bool crisp) {
  if (lineHeight <= 0) return {1, false};
  if (!crisp) return {lineHeight < kSmallTextHeight ? 2 : 1, false};
  int factor = 1;
  while (lineHeight * factor < kBitmapTextHeight && factor < kMaxFactor) factor *= 2;
  return {factor, factor > 1};
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

GrayImage scale2x(const GrayImage& gray) {
  GrayImage out{gray.width * 2, gray.height * 2, {}};
  out.pixels.resize(static_cast<size_t>(out.width * out.height));
  auto at = [&](int64_t x, int64_t y) {
    x = std::clamp<int64_t>(x, 0, gray.width - 1);
    y = std::clamp<int64_t>(y, 0, gray.height - 1);
    return gray.pixels[static_cast<size_t>(y * gray.width + x)];
  };
  for (int64_t y = 0; y < gray.height; ++y) {
    for (int64_t x = 0; x < gray.width; ++x) {
      const uint8_t p = at(x, y), up = at(x, y - 1), right = at(x + 1, y), left = at(x - 1, y),
                    down = at(x, y + 1);
      // Each quarter takes the colour of the two neighbours it touches when they agree and the
      // other two differ: a diagonal step becomes a slope, straight edges stay as they are.
      uint8_t* top = out.pixels.data() + 2 * y * out.width + 2 * x;
      uint8_t* bottom = top + out.width;
      top[0] = left == up && left != down && up != right ? up : p;
      top[1] = up == right && up != left && right != down ? right : p;
      bottom[0] = down == left && down != right && left != up ? left : p;
      bottom[1] = right == down && right != up && down != left ? down : p;
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
  const bool crisp = hasCrispEdges(gray);
  const Enlargement e = enlargementFor(lineHeight, crisp);
  if (e.crisp) {
    for (int f = 1; f < e.factor; f *= 2) gray = scale2x(gray);
  } else if (e.factor > 1) {
    gray = upscale(gray, e.factor);
  }
  return {std::move(gray), e.factor, paper, crisp};
}

}  // namespace lorvane
