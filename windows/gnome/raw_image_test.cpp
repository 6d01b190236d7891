#include "windows/gnome/raw_image.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include "windows/resample.h"

namespace lorvane {
namespace {

// 3 x 2 RGBA pixels in rows of 16 bytes, the last row ending after its pixels, as gdk-pixbuf
// lays them out.
std::vector<unsigned char> rgbaRows() {
  return {0xFF, 0,    0,    0xFF, 0,    0xFF, 0,    0x80, 0, 0, 0xFF, 0,   9, 9, 9, 9,  // padding
          0x12, 0x34, 0x56, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0,    0xFF};
}

TEST(RawImage, ReadsRowsFromTheTopLeftAsRgbIgnoringAlphaAndPadding) {
  auto image = imageFromPixels(rgbaRows(), {3, 2, 16, 4});
  ASSERT_TRUE(image.ok()) << image.error();
  EXPECT_EQ(image.value().width, 3);
  EXPECT_EQ(image.value().height, 2);
  const std::vector<uint32_t> want = {0xFF0000, 0x00FF00, 0x0000FF, 0x123456, 0xFFFFFF, 0};
  EXPECT_EQ(image.value().pixels, want);
}

TEST(RawImage, ReadsThreeChannelRows) {
  const std::vector<unsigned char> rgb = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12};
  auto image = imageFromPixels(rgb, {2, 2, 8, 3});
  ASSERT_TRUE(image.ok()) << image.error();
  EXPECT_EQ(image.value().pixels, (std::vector<uint32_t>{0x010203, 0x040506, 0x070809, 0x0A0B0C}));
}

TEST(RawImage, RefusesImpossibleLayoutsAndShortData) {
  const auto bytes = rgbaRows();
  EXPECT_FALSE(imageFromPixels(bytes, {0, 2, 16, 4}).ok());
  EXPECT_FALSE(imageFromPixels(bytes, {3, -1, 16, 4}).ok());
  EXPECT_FALSE(imageFromPixels(bytes, {3, 2, 11, 4}).ok());  // rows overlap
  EXPECT_FALSE(imageFromPixels(bytes, {3, 2, 16, 2}).ok());
  auto cut = bytes;
  cut.pop_back();
  const auto r = imageFromPixels(cut, {3, 2, 16, 4});
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.error().find("cut short"), std::string::npos) << r.error();
  // A stride whose product with the height overflows 32 bits is still only too little data.
  EXPECT_FALSE(imageFromPixels(bytes, {3, 70000, 70000, 4}).ok());
}

TEST(RawImage, ReadsAMemoryFileWholeWhateverItsOffset) {
  const int fd = memfd_create("raw-test", MFD_CLOEXEC);
  ASSERT_GE(fd, 0);
  std::vector<unsigned char> big(200000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<unsigned char>(i * 7);
  ASSERT_EQ(write(fd, big.data(), big.size()), static_cast<ssize_t>(big.size()));
  auto read = readWholeFd(fd);  // the offset is at the end, as the writer left it
  close(fd);
  ASSERT_TRUE(read.ok()) << read.error();
  EXPECT_EQ(read.value(), big);
  EXPECT_FALSE(readWholeFd(-1).ok());
}

TEST(RawImage, ResamplingKeepsCornersAndSize) {
  const Image src{2, 2, {1, 2, 3, 4}};
  const Image up = resample(src, 4, 4);
  EXPECT_EQ(up.width, 4);
  EXPECT_EQ(up.height, 4);
  EXPECT_EQ(up.pixels.front(), 1u);
  EXPECT_EQ(up.pixels.back(), 4u);
  EXPECT_EQ(up.pixels[3], 2u);
}

}  // namespace
}  // namespace lorvane
