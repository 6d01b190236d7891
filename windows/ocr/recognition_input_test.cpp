#include "windows/ocr/recognition_input.h"

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

TEST(RecognitionInput, LineHeightIsTheBandOfATextLine) {
  EXPECT_EQ(typicalLineHeight(toGray(page(200, 300, 12, 0xFFFFFF, 0)), 255), 12);
  // A frame down the side joins every row there, but not in the other strips.
  Image framed = page(200, 300, 12, 0xFFFFFF, 0);
  for (int64_t y = 0; y < 300; ++y) framed.pixels[static_cast<size_t>(y * 200 + 2)] = 0;
  EXPECT_EQ(typicalLineHeight(toGray(framed), 255), 12);
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

TEST(RecognitionInput, ScalingRule) {
  EXPECT_EQ(enlargementFor(14, false).factor, 2);  // anti-aliased, small
  EXPECT_EQ(enlargementFor(15, false).factor, 1);
  EXPECT_EQ(enlargementFor(11, true).factor, 2);  // xterm's "fixed"
  EXPECT_TRUE(enlargementFor(11, true).crisp);
  EXPECT_EQ(enlargementFor(9, true).factor, 4);
  EXPECT_EQ(enlargementFor(20, true).factor, 1);
  EXPECT_FALSE(enlargementFor(20, true).crisp);
  EXPECT_EQ(enlargementFor(0, true).factor, 1);  // no text found
}

TEST(RecognitionInput, BitmapTextIsTellableAndEnlargedCrisp) {
  const Image bitmap = page(400, 300, 11, 0xFFFFFF, 0);
  EXPECT_TRUE(hasCrispEdges(toGray(bitmap)));
  EXPECT_FALSE(hasCrispEdges(upscale(toGray(bitmap), 3)));
  const PreparedImage prepared = prepareForRecognition(bitmap);
  EXPECT_EQ(prepared.scale, 2);
  EXPECT_TRUE(prepared.bitmapText);
  for (uint8_t v : prepared.gray.pixels) ASSERT_TRUE(v == 0 || v == 255);
  // Scale2x rounds a diagonal step off and keeps a straight edge.
  const GrayImage step{2, 2, {0, 255, 255, 255}};
  EXPECT_EQ(scale2x(step).pixels, (std::vector<uint8_t>{0, 0, 255, 255, 0, 255, 255, 255,  //
                                                        255, 255, 255, 255, 255, 255, 255, 255}));
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

}  // namespace
}  // namespace lorvane
