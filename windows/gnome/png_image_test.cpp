#include "windows/gnome/png_image.h"

#include <gtest/gtest.h>
#include <leptonica/allheaders.h>
#include <sys/mman.h>
#include <unistd.h>

namespace lorvane {
namespace {

// A PNG of 3 x 2 pixels with distinct colours, one of them half transparent.
std::vector<unsigned char> pngBytes() {
  PIX* pix = pixCreate(3, 2, 32);
  pixSetSpp(pix, 4);
  const l_uint32 colours[6] = {0xFF000000 | 0xFF, 0x00FF00FF, 0x0000FFFF,
                               0x12345680,        0xFFFFFFFF, 0x000000FF};
  for (int i = 0; i < 6; ++i) pixSetPixel(pix, i % 3, i / 3, colours[i]);
  l_uint8* data = nullptr;
  size_t size = 0;
  pixWriteMemPng(&data, &size, pix, 0);
  std::vector<unsigned char> bytes(data, data + size);
  lept_free(data);
  pixDestroy(&pix);
  return bytes;
}

TEST(PngImage, DecodesRowsFromTheTopLeftAsRgb) {
  auto image = decodePng(pngBytes());
  ASSERT_TRUE(image.ok()) << image.error();
  EXPECT_EQ(image.value().width, 3);
  EXPECT_EQ(image.value().height, 2);
  const std::vector<uint32_t> want = {0xFF0000, 0x00FF00, 0x0000FF, 0x123456, 0xFFFFFF, 0x000000};
  EXPECT_EQ(image.value().pixels, want);
}

TEST(PngImage, BrokenOrEmptyDataIsAnError) {
  EXPECT_FALSE(decodePng({}).ok());
  auto bytes = pngBytes();
  bytes.resize(bytes.size() / 2);
  EXPECT_FALSE(decodePng(bytes).ok());
}

TEST(PngImage, ReadsAMemoryFileWholeWhateverItsOffset) {
  const int fd = memfd_create("png-test", MFD_CLOEXEC);
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

TEST(PngImage, ResamplingKeepsCornersAndSize) {
  const Image src{2, 2, {1, 2, 3, 4}};
  const Image up = resampleImage(src, 4, 4);
  EXPECT_EQ(up.width, 4);
  EXPECT_EQ(up.height, 4);
  EXPECT_EQ(up.pixels.front(), 1u);
  EXPECT_EQ(up.pixels.back(), 4u);
  EXPECT_EQ(up.pixels[3], 2u);
}

}  // namespace
}  // namespace lorvane
