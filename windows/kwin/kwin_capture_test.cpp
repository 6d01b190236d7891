#include "windows/kwin/kwin_capture.h"

#include <gtest/gtest.h>

namespace lorvane {
namespace {

dbus::Dict results(uint32_t w, uint32_t h, uint32_t stride, uint32_t format) {
  return {{"type", std::string("raw")},
          {"width", w},
          {"height", h},
          {"stride", stride},
          {"format", format}};
}

TEST(KWinScreenShot, ReadsNativeArgbRowsAndSkipsTheirPadding) {
  // 2x2, stride 12: each row has 4 bytes of padding. Little-endian 0xAARRGGBB words.
  const std::vector<uint8_t> bytes = {0x30, 0x20, 0x10, 0xff, 0x03, 0x02, 0x01, 0xff, 9, 9, 9, 9,
                                      0x00, 0x00, 0x00, 0x00, 0x40, 0x40, 0x40, 0x80, 9, 9, 9, 9};
  const auto image = decodeScreenShot(bytes, results(2, 2, 12, 6));  // premultiplied
  ASSERT_TRUE(image.ok()) << image.error();
  EXPECT_EQ(image.value().width, 2);
  EXPECT_EQ(image.value().height, 2);
  // Opaque pixels as they are; transparency over white.
  EXPECT_EQ(image.value().pixels, (std::vector<uint32_t>{0x102030, 0x010203, 0xffffff, 0xbfbfbf}));
}

TEST(KWinScreenShot, ReadsRgbaBytesAndStraightAlpha) {
  const std::vector<uint8_t> bytes = {0x10, 0x20, 0x30, 0xff, 0x00, 0x00, 0x00, 0x80};
  const auto rgba = decodeScreenShot(bytes, results(2, 1, 8, 17));
  ASSERT_TRUE(rgba.ok()) << rgba.error();
  EXPECT_EQ(rgba.value().pixels, (std::vector<uint32_t>{0x102030, 0x7f7f7f}));
  const auto rgbx = decodeScreenShot(bytes, results(2, 1, 8, 16));  // alpha ignored
  ASSERT_TRUE(rgbx.ok());
  EXPECT_EQ(rgbx.value().pixels[1], 0x000000u);
}

TEST(KWinScreenShot, RefusesWhatItCannotRead) {
  const std::vector<uint8_t> bytes(16);
  const auto format = decodeScreenShot(bytes, results(2, 2, 8, 13));
  ASSERT_FALSE(format.ok());
  EXPECT_EQ(format.error(), "KWin screenshot: pixel format 13 is not handled");
  const auto shortData = decodeScreenShot(bytes, results(2, 3, 8, 4));
  ASSERT_FALSE(shortData.ok());
  EXPECT_EQ(shortData.error(), "KWin screenshot: 16 bytes for 2x3 pixels of stride 8");
  EXPECT_FALSE(decodeScreenShot(bytes, results(3, 1, 8, 4)).ok());  // stride below the width
  EXPECT_FALSE(decodeScreenShot(bytes, {{"width", uint32_t{1}}}).ok());
}

}  // namespace
}  // namespace lorvane
