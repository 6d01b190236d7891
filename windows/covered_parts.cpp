#include "windows/covered_parts.h"

#include <algorithm>
#include <unordered_map>

namespace lorvane {

PixelRect intersection(const PixelRect& a, const PixelRect& b) {
  const int64_t left = std::max(a.x, b.x), top = std::max(a.y, b.y);
  const int64_t right = std::min(a.x + a.width, b.x + b.width);
  const int64_t bottom = std::min(a.y + a.height, b.y + b.height);
  if (right <= left || bottom <= top) return {};
  return {left, top, right - left, bottom - top};
}

void blankParts(Image& image, const std::vector<PixelRect>& parts) {
  const PixelRect whole{0, 0, image.width, image.height};
  std::vector<bool> covered(image.pixels.size(), false);
  bool any = false;
  for (const PixelRect& part : parts) {
    const PixelRect r = intersection(part, whole);
    for (int64_t y = r.y; y < r.y + r.height; ++y) {
      const auto row = static_cast<size_t>(y * image.width);
      std::fill_n(covered.begin() + static_cast<std::ptrdiff_t>(row + static_cast<size_t>(r.x)),
                  r.width, true);
      any = true;
    }
  }
  if (!any) return;
  // Every 7th pixel is plenty to find the background, and keeps this cheap on large windows.
  std::unordered_map<uint32_t, size_t> counts;
  for (size_t step : {size_t{7}, size_t{1}}) {  // every pixel when the sample missed the rest
    for (size_t i = 0; i < image.pixels.size(); i += step) {
      if (!covered[i]) ++counts[image.pixels[i] & 0xFFFFFF];
    }
    if (!counts.empty()) break;
  }
  uint32_t background = 0xFFFFFF;
  size_t most = 0;
  for (const auto& [colour, n] : counts) {
    if (n > most || (n == most && colour > background)) {
      background = colour;
      most = n;
    }
  }
  for (size_t i = 0; i < image.pixels.size(); ++i) {
    if (covered[i]) image.pixels[i] = background;
  }
}

}  // namespace lorvane
