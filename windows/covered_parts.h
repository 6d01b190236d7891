#pragma once

#include <cstdint>
#include <vector>

#include "windows/image.h"

namespace lorvane {

/// A rectangle of pixels, from the top-left corner of an image.
struct PixelRect {
  int64_t x = 0, y = 0, width = 0, height = 0;
};

/// The part of `a` that `b` covers; empty (zero size) when they do not meet.
PixelRect intersection(const PixelRect& a, const PixelRect& b);

/// Paints `parts` of a window's image (clipped to it) in the window's background, the colour
/// most pixels outside those parts have: a capture of the screen shows there what covers the
/// window, which must not be read as the window's text. Plain background reads as nothing,
/// and keeps a dark window dark for the recognizer. An image wholly covered turns white.
void blankParts(Image& image, const std::vector<PixelRect>& parts);

}  // namespace lorvane
