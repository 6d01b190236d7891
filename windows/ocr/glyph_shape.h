#pragma once

#include <cstdint>

#include "windows/ocr/recognition_input.h"

namespace lorvane {

/// A rectangle of pixels, edges included at left and top, excluded at right and bottom.
struct PixelBox {
  int64_t left = 0;
  int64_t top = 0;
  int64_t right = 0;
  int64_t bottom = 0;
};

/// True when the ink in the box is one round mark: about as wide as high and the same when
/// mirrored left to right and top to bottom. A full stop is such a mark; a comma has a tail.
/// Bitmap fonts such as xterm's "fixed" draw the full stop as a small cross that reaches below
/// the baseline, and the English model then reads it as a comma.
bool isRoundMark(const GrayImage& gray, uint8_t paper, PixelBox box);

}  // namespace lorvane
