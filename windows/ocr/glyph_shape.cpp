#include "windows/ocr/glyph_shape.h"

#include <algorithm>
#include <cstdlib>

namespace lorvane {
namespace {

// Anti-aliased marks are not exactly symmetric: up to 1 in 8 of the ink pixels may differ.
constexpr int64_t kMismatchRatio = 8;

}  // namespace

bool isRoundMark(const GrayImage& gray, uint8_t paper, PixelBox box) {
  box.left = std::max<int64_t>(box.left, 0);
  box.top = std::max<int64_t>(box.top, 0);
  box.right = std::min(box.right, gray.width);
  box.bottom = std::min(box.bottom, gray.height);
  auto ink = [&](int64_t x, int64_t y) {
    return std::abs(int{gray.pixels[static_cast<size_t>(y * gray.width + x)]} - int{paper}) >=
           kInkContrast;
  };
  // The ink's own bounds within the box.
  PixelBox mark{box.right, box.bottom, box.left, box.top};
  int64_t inkCount = 0;
  for (int64_t y = box.top; y < box.bottom; ++y) {
    for (int64_t x = box.left; x < box.right; ++x) {
      if (!ink(x, y)) continue;
      ++inkCount;
      mark = {std::min(mark.left, x), std::min(mark.top, y), std::max(mark.right, x + 1),
              std::max(mark.bottom, y + 1)};
    }
  }
  if (inkCount == 0) return false;
  const int64_t w = mark.right - mark.left, h = mark.bottom - mark.top;
  if (std::abs(w - h) > std::max<int64_t>(1, w / 4)) return false;
  int64_t mismatches = 0;
  for (int64_t y = mark.top; y < mark.bottom; ++y) {
    for (int64_t x = mark.left; x < mark.right; ++x) {
      const bool here = ink(x, y);
      mismatches += here != ink(mark.left + mark.right - 1 - x, y);
      mismatches += here != ink(x, mark.top + mark.bottom - 1 - y);
    }
  }
  return mismatches * kMismatchRatio <= inkCount;
}

}  // namespace lorvane
