#include "windows/covered_parts.h"

#include <gtest/gtest.h>

namespace lorvane {
namespace {

// A dark 10x4 window with one light "glyph" pixel at (1, 1) and another at (8, 2).
Image darkWindow() {
  Image image{10, 4, std::vector<uint32_t>(40, 0x202020)};
  image.pixels[1 * 10 + 1] = 0xEEEEEE;
  image.pixels[2 * 10 + 8] = 0xEEEEEE;
  return image;
}

TEST(CoveredParts, CoveredPixelsTakeTheBackgroundAndTheRestIsKept) {
  Image image = darkWindow();
  // The second rectangle sticks out of the image: only its inside counts.
  blankParts(image, {{7, 2, 2, 1}, {-5, -5, 7, 7}});
  for (int64_t y = 0; y < 4; ++y) {
    for (int64_t x = 0; x < 10; ++x) {
      const uint32_t p = image.pixels[static_cast<size_t>(y * 10 + x)];
      EXPECT_EQ(p, 0x202020u) << x << "," << y;
    }
  }
  Image kept = darkWindow();
  blankParts(kept, {{2, 0, 3, 4}});  // covers neither glyph
  EXPECT_EQ(kept.pixels[11], 0xEEEEEEu);
  EXPECT_EQ(kept.pixels[28], 0xEEEEEEu);
}

TEST(CoveredParts, AWhollyCoveredWindowTurnsWhite) {
  Image image = darkWindow();
  blankParts(image, {{0, 0, 10, 4}});
  for (uint32_t p : image.pixels) EXPECT_EQ(p, 0xFFFFFFu);
}

TEST(CoveredParts, IntersectionOfRectanglesThatDoNotMeetIsEmpty) {
  const PixelRect r = intersection({0, 0, 10, 10}, {10, 0, 5, 5});
  EXPECT_EQ(r.width * r.height, 0);
  const PixelRect both = intersection({0, 0, 10, 10}, {5, -3, 10, 5});
  EXPECT_EQ((std::vector<int64_t>{both.x, both.y, both.width, both.height}),
            (std::vector<int64_t>{5, 0, 5, 2}));
}

}  // namespace
}  // namespace lorvane
