#include "windows/ocr/glyph_shape.h"

#include <gtest/gtest.h>

#include <cstring>

namespace lorvane {
namespace {

// Rows of '#' (ink) and '.' (paper).
GrayImage picture(std::initializer_list<const char*> rows) {
  GrayImage g{
      static_cast<int64_t>(std::strlen(*rows.begin())), static_cast<int64_t>(rows.size()), {}};
  for (const char* row : rows) {
    for (const char* c = row; *c != '\0'; ++c) g.pixels.push_back(*c == '#' ? 0 : 255);
  }
  return g;
}

TEST(GlyphShape, AFullStopIsRoundACommaHasATail) {
  // xterm's "fixed" 6x13: the full stop, and the comma (both reach below the baseline).
  const GrayImage stop = picture({"......", "..#...", ".###..", "..#...", "......"});
  const GrayImage comma = picture({"......", "..##..", "..#...", ".#....", "......"});
  EXPECT_TRUE(isRoundMark(stop, 255, {0, 0, 6, 5}));
  EXPECT_FALSE(isRoundMark(comma, 255, {0, 0, 6, 5}));
  EXPECT_FALSE(isRoundMark(stop, 255, {4, 0, 6, 5}));     // no ink in the box
  EXPECT_TRUE(isRoundMark(stop, 255, {-3, -3, 60, 50}));  // clipped to the image
  const GrayImage bar = picture({"#...", "#...", "#...", "#..."});
  EXPECT_FALSE(isRoundMark(bar, 255, {0, 0, 4, 4}));  // symmetric, but not round
}

}  // namespace
}  // namespace lorvane
