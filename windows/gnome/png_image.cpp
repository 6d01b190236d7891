#include "windows/gnome/png_image.h"

#include <leptonica/allheaders.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace lorvane {
namespace {

struct PixDestroy {
  void operator()(PIX* p) const { pixDestroy(&p); }
};
using PixPtr = std::unique_ptr<PIX, PixDestroy>;

// Whether the data ends with the PNG end chunk (a zero length, "IEND", its CRC): a writer
// that stopped early is caught here, before libpng would say so on stderr.
bool complete(const std::vector<unsigned char>& bytes) {
  static constexpr unsigned char kEnd[] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
  return bytes.size() >= sizeof kEnd &&
         std::memcmp(bytes.data() + bytes.size() - sizeof kEnd, kEnd, sizeof kEnd) == 0;
}

}  // namespace

Outcome<Image> decodePng(const std::vector<unsigned char>& bytes) {
  if (bytes.empty()) return Outcome<Image>::failure("PNG: no image data");
  if (!complete(bytes)) return Outcome<Image>::failure("PNG: the image data is cut short");
  // Leptonica reports its errors on stderr, which the modes keep clean: the outcome says it.
  const l_int32 severity = setMsgSeverity(L_SEVERITY_NONE);
  const PixPtr read(pixReadMemPng(bytes.data(), bytes.size()));
  setMsgSeverity(severity);
  if (!read) return Outcome<Image>::failure("PNG: the image data cannot be decoded");
  const PixPtr pix(pixConvertTo32(read.get()));
  if (!pix) return Outcome<Image>::failure("PNG: the image cannot be converted to RGB");
  Image image{pixGetWidth(pix.get()), pixGetHeight(pix.get()), {}};
  image.pixels.resize(static_cast<size_t>(image.width * image.height));
  const l_int32 wpl = pixGetWpl(pix.get());
  const l_uint32* data = pixGetData(pix.get());
  for (int64_t y = 0; y < image.height; ++y) {
    const l_uint32* line = data + y * wpl;
    for (int64_t x = 0; x < image.width; ++x) {
      // Leptonica keeps red in the top byte: 0xRRGGBBAA.
      image.pixels[static_cast<size_t>(y * image.width + x)] = line[x] >> 8;
    }
  }
  return Outcome<Image>::success(std::move(image));
}

Outcome<std::vector<unsigned char>> readWholeFd(int fd) {
  std::vector<unsigned char> bytes;
  unsigned char chunk[1 << 16];
  off_t offset = 0;
  for (;;) {
    const ssize_t n = pread(fd, chunk, sizeof chunk, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      return Outcome<std::vector<unsigned char>>::failure(std::string("reading the image: ") +
                                                          std::strerror(errno));
    }
    if (n == 0) break;
    bytes.insert(bytes.end(), chunk, chunk + n);
    offset += n;
  }
  return Outcome<std::vector<unsigned char>>::success(std::move(bytes));
}

Image resampleImage(const Image& src, int64_t width, int64_t height) {
  Image out{width, height, std::vector<uint32_t>(static_cast<size_t>(width * height))};
  for (int64_t y = 0; y < height; ++y) {
    const int64_t sy = y * src.height / height;
    for (int64_t x = 0; x < width; ++x) {
      out.pixels[static_cast<size_t>(y * width + x)] =
          src.pixels[static_cast<size_t>(sy * src.width + x * src.width / width)];
    }
  }
  return out;
}

}  // namespace lorvane
