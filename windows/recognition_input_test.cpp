#include "windows/recognition_input.h"

#include <gtest/gtest.h>

namespace lorvane {
namespace {

// A page of `lines` bands of text-like ink, each `band` rows high, on `paper`.
Image page(int64_t w, int64_t h, int band, uint32_t paper, uint32_t ink) {
  Image img{w, h, std::vector<uint32_t>(static_cast<size_t>(w * h), paper)};
  for (int64_t top = 10; top + band < h; top += band * 2) {
    for (int64_t y = top; y < top + band; ++y) {
      for (int64_t x = 10; x < w - 10; x += 3) img.pixels[static_cast<size_t>(y * w + x)] = ink;
    }
  }
  return img;
}

TEST(RecognitionInput, GreyLevelsAndBackground) {
  const GrayImage g = toGray(Image{3, 1, {0xFFFFFF, 0x000000, 0xFF0000}});
  EXPECT_EQ(g.pixels, (std::vector<uint8_t>{255, 0, 76}));
  EXPECT_EQ(backgroundLevel(toGray(page(100, 100, 5, 0x202020, 0xE0E0E0))), 0x20);
}

TEST(RecognitionInput, LineHeightIsTheMedianBand) {
  EXPECT_EQ(typicalLineHeight(toGray(page(200, 300, 12, 0xFFFFFF, 0)), 255), 12);
  EXPECT_EQ(typicalLineHeight(toGray(page(200, 300, 2, 0xFFFFFF, 0)), 255), 0);
  EXPECT_EQ(typicalLineHeight(toGray(Image{4, 4, std::vector<uint32_t>(16, 0xFFFFFF)}), 255), 0);
}

TEST(RecognitionInput, UpscaleKeepsFlatAreasAndInterpolatesEdges) {
  const GrayImage flat{2, 2, {90, 90, 90, 90}};
  const GrayImage big = upscale(flat, 3);
  EXPECT_EQ(big.width, 6);
  EXPECT_EQ(big.height, 6);
  for (uint8_t v : big.pixels) EXPECT_EQ(v, 90);
  const GrayImage edge = upscale(GrayImage{2, 1, {0, 200}}, 2);
  EXPECT_EQ(edge.pixels, (std::vector<uint8_t>{0, 50, 150, 200, 0, 50, 150, 200}));
}

TEST(RecognitionInput, SmallTextIsEnlargedAndDarkThemesInverted) {
  const PreparedImage small = prepareForRecognition(page(400, 300, 11, 0xFFFFFF, 0));
  EXPECT_EQ(small.scale, 2);
  EXPECT_EQ(small.gray.width, 800);
  const PreparedImage large = prepareForRecognition(page(400, 300, 24, 0xFFFFFF, 0));
  EXPECT_EQ(large.scale, 1);
  EXPECT_EQ(large.gray.pixels[0], 255);
  const PreparedImage dark = prepareForRecognition(page(400, 300, 24, 0x1E1E1E, 0xD4D4D4));
  EXPECT_EQ(dark.scale, 1);
  EXPECT_EQ(dark.gray.pixels[0], 255 - 0x1E);
}

TEST(RecognitionInput, BandsAreCutOnBlankRowsNearTheEvenSplit) {
  // Bands of 12 ink rows every 24 rows from row 10: rows 10-21 ink, 22-33 blank, ...
  const GrayImage g = toGray(page(200, 400, 12, 0xFFFFFF, 0));
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

TEST(RecognitionInput, CjkDetection) {
  EXPECT_FALSE(hasCjk("Version 2.14 fixes the crash (bring the draft)."));
  EXPECT_FALSE(hasCjk("caf\xc3\xa9 \xe2\x80\x94 na\xc3\xafve"));  // é, em dash, ï
  EXPECT_TRUE(hasCjk("\xe3\x81\x82"));                            // あ
  EXPECT_TRUE(hasCjk("Python \xe3\x81\xa8 C++"));                 // と
  EXPECT_TRUE(hasCjk("\xe6\x9d\xb1\xe4\xba\xac"));                // 東京
  EXPECT_TRUE(hasCjk("\xe3\x80\x81"));                            // 、
  EXPECT_TRUE(hasCjk("\xef\xbc\xa1"));                            // Ａ full-width
  EXPECT_TRUE(hasCjk("\xf0\xa0\x80\x8b"));                        // U+2000B
  EXPECT_FALSE(hasCjk("\xe3"));                                   // truncated
  EXPECT_FALSE(hasCjk("\xef\xbf\xbd"));                           // U+FFFD is no CJK
}

}  // namespace
}  // namespace lorvane
