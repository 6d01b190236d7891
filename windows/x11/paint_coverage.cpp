#include "windows/x11/paint_coverage.h"

#include <algorithm>

namespace lorvane {

PaintCoverage::PaintCoverage(int32_t width, int32_t height)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      pending_(static_cast<size_t>(width_) * static_cast<size_t>(height_)) {}

void PaintCoverage::mark(int32_t x, int32_t y, int32_t w, int32_t h, uint8_t pending) {
  if (pending == 0 && outstanding_ == 0) return;  // a paint with nothing outstanding
  const int64_t x0 = std::max<int64_t>(x, 0), y0 = std::max<int64_t>(y, 0);
  const int64_t x1 = std::min<int64_t>(int64_t{x} + w, width_);
  const int64_t y1 = std::min<int64_t>(int64_t{y} + h, height_);
  for (int64_t row = y0; row < y1; ++row) {
    uint8_t* line = pending_.data() + row * width_;
    for (int64_t col = x0; col < x1; ++col) {
      outstanding_ += pending - line[col];
      line[col] = pending;
    }
  }
}

}  // namespace lorvane
