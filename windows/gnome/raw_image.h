#pragma once

#include <cstdint>
#include <vector>

#include "windows/image.h"
#include "windows/outcome.h"

namespace lorvane {

/// The layout of a captured window's pixels as the shell extension writes them: `height` rows
/// from the top-left corner, `stride` bytes apart (the last row may end after its pixels),
/// each pixel `channels` bytes, red, green, blue (and alpha, ignored).
struct PixelLayout {
  int32_t width = 0, height = 0, stride = 0, channels = 0;
};

/// The image those bytes hold; an error when the layout is impossible or the bytes too few.
Outcome<Image> imageFromPixels(const std::vector<unsigned char>& bytes, PixelLayout layout);

/// The whole content of a file descriptor from its start; an error with errno's text.
Outcome<std::vector<unsigned char>> readWholeFd(int fd);

}  // namespace lorvane
