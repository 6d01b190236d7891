#pragma once

#include <cstdint>

#include "windows/image.h"

namespace lorvane {

/// The image at another size, nearest neighbour: for a capture asked at a size other than
/// the one the window system gave. Both sizes must be positive.
Image resample(const Image& src, int64_t width, int64_t height);

}  // namespace lorvane
