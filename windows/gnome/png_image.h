#pragma once

#include <string>
#include <vector>

#include "windows/image.h"
#include "windows/outcome.h"

namespace lorvane {

/// The image in PNG bytes (leptonica), alpha dropped; an error naming what failed.
Outcome<Image> decodePng(const std::vector<unsigned char>& bytes);

/// The whole content of a file descriptor from its start; an error with errno's text.
Outcome<std::vector<unsigned char>> readWholeFd(int fd);

/// `src` at another size, nearest neighbour.
Image resampleImage(const Image& src, int64_t width, int64_t height);

}  // namespace lorvane
