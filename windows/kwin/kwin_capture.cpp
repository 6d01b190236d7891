#include "windows/kwin/kwin_capture.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <thread>

namespace lorvane {
namespace {

constexpr char kInvalidWindow[] = "org.kde.KWin.ScreenShot2.Error.InvalidWindow";

// QImage formats of 32 bits per pixel.
enum QImageFormat : uint32_t {
  kRGB32 = 4,
  kARGB32 = 5,
  kARGB32Premultiplied = 6,
  kRGBX8888 = 16,
  kRGBA8888 = 17,
  kRGBA8888Premultiplied = 18,
};

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void reset() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// Everything written to `fd` until its writers close it, or until the deadline.
std::vector<uint8_t> readAll(int fd, dbus::Deadline deadline, bool& complete) {
  std::vector<uint8_t> bytes;
  uint8_t chunk[65536];
  complete = false;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - dbus::Clock::now());
    pollfd p{fd, POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) return bytes;
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return bytes;
    }
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  complete = true;
  return bytes;
}

// Channel c (0..255) with alpha a over white; `premultiplied` when c already holds c * a.
uint32_t overWhite(uint32_t c, uint32_t a, bool premultiplied) {
  const uint32_t shown = premultiplied ? c : c * a / 255;
  return std::min<uint32_t>(255, shown + (255 - a));
}

}  // namespace

Outcome<Image> decodeScreenShot(const std::vector<uint8_t>& bytes, const dbus::Dict& results) {
  using Result = Outcome<Image>;
  const auto width = dbus::member<uint32_t>(results, "width");
  const auto height = dbus::member<uint32_t>(results, "height");
  const auto stride = dbus::member<uint32_t>(results, "stride");
  const auto format = dbus::member<uint32_t>(results, "format");
  if (!width || !height || !stride || !format) {
    return Result::failure("KWin screenshot: the answer lacks width, height, stride or format");
  }
  const bool argb = *format == kRGB32 || *format == kARGB32 || *format == kARGB32Premultiplied;
  const bool rgba =
      *format == kRGBX8888 || *format == kRGBA8888 || *format == kRGBA8888Premultiplied;
  if (!argb && !rgba) {
    return Result::failure("KWin screenshot: pixel format " + std::to_string(*format) +
                           " is not handled");
  }
  const uint64_t need = uint64_t{*stride} * (*height == 0 ? 0 : *height - 1) + uint64_t{*width} * 4;
  if (*stride < uint64_t{*width} * 4 || bytes.size() < need) {
    return Result::failure("KWin screenshot: " + std::to_string(bytes.size()) + " bytes for " +
                           std::to_string(*width) + "x" + std::to_string(*height) +
                           " pixels of stride " + std::to_string(*stride));
  }
  const bool opaque = *format == kRGB32 || *format == kRGBX8888;
  const bool premultiplied = *format == kARGB32Premultiplied || *format == kRGBA8888Premultiplied;
  Image image{*width, *height, std::vector<uint32_t>(size_t{*width} * *height)};
  for (uint32_t y = 0; y < *height; ++y) {
    const uint8_t* row = bytes.data() + size_t{y} * *stride;
    for (uint32_t x = 0; x < *width; ++x) {
      const uint8_t* p = row + size_t{x} * 4;
      uint32_t r, g, b, a;
      if (argb) {  // a native-endian 0xAARRGGBB word
        const uint32_t v =
            uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
        a = v >> 24, r = (v >> 16) & 0xff, g = (v >> 8) & 0xff, b = v & 0xff;
      } else {  // bytes R, G, B, A
        r = p[0], g = p[1], b = p[2], a = p[3];
      }
      if (opaque) a = 255;
      image.pixels[size_t{y} * *width + x] = overWhite(r, a, premultiplied) << 16 |
                                             overWhite(g, a, premultiplied) << 8 |
                                             overWhite(b, a, premultiplied);
    }
  }
  return Result::success(std::move(image));
}

Outcome<WindowCapture> captureKWinWindow(dbus::Bus& bus, const std::string& internalId,
                                         dbus::Deadline deadline) {
  using Result = Outcome<WindowCapture>;
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return Result::failure("KWin screenshot: no pipe");
  Fd readEnd(ends[0]), writeEnd(ends[1]);
  // KWin writes the pixels from a thread of its own, before or after it answers: read them
  // meanwhile, or a window larger than the pipe's buffer would stall both sides.
  std::vector<uint8_t> bytes;
  bool complete = false;
  std::thread reader([&] { bytes = readAll(readEnd.get(), deadline, complete); });
  const dbus::Dict options{
      {"include-cursor", false}, {"include-decoration", true}, {"native-resolution", false}};
  const dbus::Answer a = bus.call({"org.kde.KWin",
                                   "/org/kde/KWin/ScreenShot2",
                                   "org.kde.KWin.ScreenShot2",
                                   "CaptureWindow",
                                   {internalId, options, dbus::Fd{writeEnd.get()}}},
                                  deadline);
  writeEnd.reset();  // KWin holds its own copy; the reader sees the end when KWin closes it
  reader.join();
  if (a.errorName == kInvalidWindow) return Result::success(std::nullopt);
  if (!a.ok()) return Result::failure("KWin screenshot of window " + internalId + ": " + a.error);
  if (!complete) {
    return Result::failure("KWin screenshot of window " + internalId +
                           ": the pixels did not come in time");
  }
  const auto results = dbus::argAt<dbus::Dict>(a.args, 0);
  auto image = decodeScreenShot(bytes, results.value_or(dbus::Dict{}));
  if (!image.ok()) return Result::failure(image.error());
  return Result::success(std::move(image.value()));
}

dbus::Answer probeKWinCapture(dbus::Bus& bus, dbus::Deadline deadline) {
  const Fd devNull(open("/dev/null", O_WRONLY | O_CLOEXEC));
  return bus.call({"org.kde.KWin",
                   "/org/kde/KWin/ScreenShot2",
                   "org.kde.KWin.ScreenShot2",
                   "CaptureWindow",
                   {std::string("{00000000-0000-0000-0000-000000000000}"), dbus::Dict{},
                    dbus::Fd{devNull.get()}}},
                  deadline);
}

}  // namespace lorvane
