#include "windows/gnome/raw_image.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace lorvane {

Outcome<Image> imageFromPixels(const std::vector<unsigned char>& bytes, PixelLayout l) {
  const std::string layout = std::to_string(l.width) + "x" + std::to_string(l.height) +
                             ", stride " + std::to_string(l.stride) + ", " +
                             std::to_string(l.channels) + " channels";
  if (l.width <= 0 || l.height <= 0 || (l.channels != 3 && l.channels != 4) ||
      static_cast<int64_t>(l.stride) < static_cast<int64_t>(l.width) * l.channels) {
    return Outcome<Image>::failure("the window image has an impossible layout (" + layout + ")");
  }
  const int64_t needed =
      static_cast<int64_t>(l.height - 1) * l.stride + static_cast<int64_t>(l.width) * l.channels;
  if (static_cast<int64_t>(bytes.size()) < needed) {
    return Outcome<Image>::failure(
        "the window image is cut short: " + std::to_string(bytes.size()) + " bytes for " + layout);
  }
  Image image{l.width, l.height, std::vector<uint32_t>(static_cast<size_t>(l.width) * l.height)};
  for (int64_t y = 0; y < l.height; ++y) {
    const unsigned char* p = bytes.data() + y * l.stride;
    uint32_t* out = image.pixels.data() + y * l.width;
    for (int64_t x = 0; x < l.width; ++x, p += l.channels) {
      out[x] = (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
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

}  // namespace lorvane
