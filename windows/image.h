#pragma once

#include <cstdint>
#include <vector>

namespace lorvane {

/// A captured window: row-major pixels from the top-left corner, each 0x00RRGGBB.
struct Image {
  int64_t width = 0;
  int64_t height = 0;
  std::vector<uint32_t> pixels;
};

}  // namespace lorvane
