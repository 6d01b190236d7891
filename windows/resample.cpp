#include "windows/resample.h"

#include <cstddef>

namespace lorvane {

Image resample(const Image& src, int64_t width, int64_t height) {
  Image out{width, height, std::vector<uint32_t>(static_cast<size_t>(width * height))};
  for (int64_t y = 0; y < height; ++y) {
    const int64_t sy = y * src.height / height;
    for (int64_t x = 0; x < width; ++x) {
      out.pixels[static_cast<size_t>(y * width + x)] =
          src.pixels[static_cast<size_t>(sy * src.width + x * src.width / width)];
    }
  }
  return out;
}

}  // namespace lorvane
