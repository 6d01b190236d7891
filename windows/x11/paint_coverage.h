#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lorvane {

/// Which pixels of a window the server exposed and the client has not painted again since.
/// Rectangles are clipped to the window.
class PaintCoverage {
 public:
  PaintCoverage(int32_t width, int32_t height);
  /// Exposed: to be painted again.
  void expose(int32_t x, int32_t y, int32_t w, int32_t h) { mark(x, y, w, h, 1); }
  /// Painted: no longer outstanding.
  void paint(int32_t x, int32_t y, int32_t w, int32_t h) { mark(x, y, w, h, 0); }
  bool complete() const { return outstanding_ == 0; }

 private:
  void mark(int32_t x, int32_t y, int32_t w, int32_t h, uint8_t pending);

  int32_t width_, height_;
  std::vector<uint8_t> pending_;
  int64_t outstanding_ = 0;
};

}  // namespace lorvane
