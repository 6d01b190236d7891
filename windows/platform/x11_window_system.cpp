#include "windows/platform/x11_window_system.h"

#include <xcb/composite.h>
#include <xcb/damage.h>
#include <xcb/res.h>

#include <optional>

#include "windows/platform/x11_capture.h"
#include "windows/platform/x11_connection.h"
#include "windows/platform/x11_window_reader.h"

namespace lorvane {
namespace {

// A fresh connection per call: every mode makes one or two calls, and a connection opened
// before a window appears would not change anything anyway.
struct Session {
  std::string why;  // why there is no connection (declared first: connectX11 fills it)
  XcbConnection conn;
  X11Atoms atoms{};

  Session() : conn(connectX11(why)) {
    if (!conn) return;
    // The extension queries travel together with the atoms.
    xcb_prefetch_extension_data(conn.get(), &xcb_res_id);
    xcb_prefetch_extension_data(conn.get(), &xcb_composite_id);
    xcb_prefetch_extension_data(conn.get(), &xcb_damage_id);
    atoms = internAtoms(conn.get());
  }
};

std::optional<CapturableWindow> capturableOf(const X11ClientFacts& f,
                                             const X11ScreenFacts& screen) {
  const std::optional<WindowInfo> info = decodeClient(f, screen);
  if (!info) return std::nullopt;
  CapturableWindow w;
  w.windowID = info->number;
  if (!info->ownerName.empty()) w.applicationName = info->ownerName;
  if (f.netWmName || f.wmName) w.title = info->title;
  w.contentWidth = f.width;
  w.contentHeight = f.height;
  w.pointPixelScale = 1;
  return w;
}

// Nearest-neighbour resampling, for a capture asked at a size other than the window's own.
Image resample(const Image& src, int64_t width, int64_t height) {
  Image out;
  out.width = width;
  out.height = height;
  out.pixels.resize(static_cast<size_t>(width * height));
  for (int64_t y = 0; y < height; ++y) {
    const int64_t sy = y * src.height / height;
    for (int64_t x = 0; x < width; ++x) {
      out.pixels[static_cast<size_t>(y * width + x)] =
          src.pixels[static_cast<size_t>(sy * src.width + x * src.width / width)];
    }
  }
  return out;
}

class X11WindowSystem : public WindowSystem {
 public:
  std::vector<WindowInfo> readWindowList() override {
    Session s;
    if (!s.conn) return {};
    const X11Snapshot snap = readX11Snapshot(s.conn.get(), s.atoms);
    std::vector<WindowInfo> list;
    for (const X11ClientFacts& f : snap.clients) {
      if (auto info = decodeClient(f, snap.screen)) list.push_back(std::move(*info));
    }
    return list;
  }

  bool preflightScreenCapture() override {
    std::string why;
    const XcbConnection conn = connectX11(why);
    return conn && canReadRoot(conn.get());
  }

  void requestScreenCapture() override {}  // X11 has no capture permission to ask for

  Outcome<std::vector<CapturableWindow>> shareableContent() override {
    Session s;
    if (!s.conn) return Outcome<std::vector<CapturableWindow>>::failure("X11: " + s.why);
    const X11Snapshot snap = readX11Snapshot(s.conn.get(), s.atoms);
    std::vector<CapturableWindow> windows;
    for (const X11ClientFacts& f : snap.clients) {
      if (auto w = capturableOf(f, snap.screen)) windows.push_back(std::move(*w));
    }
    return Outcome<std::vector<CapturableWindow>>::success(std::move(windows));
  }

  Outcome<Image> captureWindow(const CapturableWindow& window, int64_t pixelWidth,
                               int64_t pixelHeight) override {
    constexpr int64_t kMaxSide = 32767;  // the largest X11 window
    if (pixelWidth <= 0 || pixelHeight <= 0 || pixelWidth > kMaxSide || pixelHeight > kMaxSide) {
      return Outcome<Image>::failure("X11 capture of window " + hexId(window.windowID) +
                                     " failed: no image of " + std::to_string(pixelWidth) + "x" +
                                     std::to_string(pixelHeight) + " pixels can be made");
    }
    Session s;
    if (!s.conn) return Outcome<Image>::failure("X11: " + s.why);
    Outcome<Image> shot = captureX11Window(s.conn.get(), s.atoms, window.windowID);
    if (shot.ok() && (shot.value->width != pixelWidth || shot.value->height != pixelHeight)) {
      return Outcome<Image>::success(resample(*shot.value, pixelWidth, pixelHeight));
    }
    return shot;
  }
};

}  // namespace

std::unique_ptr<WindowSystem> makeX11WindowSystem() {
  return std::make_unique<X11WindowSystem>();
}

}  // namespace lorvane
