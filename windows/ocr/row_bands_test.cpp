#include "windows/ocr/row_bands.h"

#include <gtest/gtest.h>

namespace lorvane {
namespace {

// Bands of 12 ink rows every 24 rows from row 10, on white.
GrayImage stripes(int64_t w, int64_t h) {
  GrayImage g{w, h, std::vector<uint8_t>(static_cast<size_t>(w * h), 255)};
  for (int64_t top = 10; top + 12 < h; top += 24) {
    for (int64_t y = top; y < top + 12; ++y) {
      for (int64_t x = 10; x < w - 10; x += 3) g.pixels[static_cast<size_t>(y * w + x)] = 0;
    }
  }
  return g;
}

TEST(RowBands, BandsAreCutOnBlankRowsNearTheEvenSplit) {
  // Rows 10-21 ink, 22-33 blank, ...
  const GrayImage g = stripes(200, 400);
  const std::vector<RowBand> two = splitIntoBands(g, 255, 2, 50);
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(two[0].top, 0);
  EXPECT_EQ(two[1].bottom, 400);
  EXPECT_EQ(two[0].bottom, two[1].top);
  EXPECT_EQ(two[0].bottom, 200);  // row 200 is blank (178-189 ink, 190-201 blank)
  const std::vector<RowBand> four = splitIntoBands(g, 255, 4, 50);
  ASSERT_EQ(four.size(), 4u);
  for (size_t i = 1; i < four.size(); ++i) {
    EXPECT_EQ(four[i - 1].bottom, four[i].top);
    EXPECT_TRUE((four[i].top - 10) % 24 >= 12) << four[i].top;  // never inside a line
  }
  // Too low for two bands of 50 rows, or no blank row at all: one band.
  EXPECT_EQ(splitIntoBands(g, 255, 2, 250).size(), 1u);
  const GrayImage ink{10, 300, std::vector<uint8_t>(3000, 0)};
  const std::vector<RowBand> whole = splitIntoBands(ink, 255, 2, 50);
  ASSERT_EQ(whole.size(), 1u);
  EXPECT_EQ(whole[0].bottom, 300);
  EXPECT_TRUE(splitIntoBands(GrayImage{}, 255, 2, 50).empty());
}

}  // namespace
}  // namespace lorvane
