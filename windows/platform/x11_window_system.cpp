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
struct X11Session {
  XcbConnection conn;
  X11Atoms atoms{};

  X11Session() {
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
    std::vector<WindowInfo> list;
    if (!unanswered_.empty()) return list;
    X11Session s;
    if (!s.conn) return failed(s.conn, list);
    const X11Snapshot snap = readX11Snapshot(s.conn.get(), s.atoms);
    // A list read from a connection that broke half-way may miss windows: none is better.
    if (s.conn.broken()) return failed(s.conn, list);
    for (const X11ClientFacts& f : snap.clients) {
      if (auto info = decodeClient(f, snap.screen)) list.push_back(std::move(*info));
    }
    return list;
  }

  bool preflightScreenCapture() override {
    if (!unanswered_.empty()) return true;
    const XcbConnection conn;
    const bool readable = conn && canReadRoot(conn.get());
    noteFailure(conn);
    return readable || conn.timedOut();
  }

  void requestScreenCapture() override {}  // X11 has no capture permission to ask for

  Outcome<std::vector<CapturableWindow>> shareableContent() override {
    using Result = Outcome<std::vector<CapturableWindow>>;
    if (!unanswered_.empty()) return Result::failure(unanswered_);
    X11Session s;
    if (!s.conn) return failed(s.conn, Result::failure(s.conn.why()));
    const X11Snapshot snap = readX11Snapshot(s.conn.get(), s.atoms);
    if (s.conn.broken()) return failed(s.conn, Result::failure(s.conn.why()));
    std::vector<CapturableWindow> windows;
    for (const X11ClientFacts& f : snap.clients) {
      if (auto w = capturableOf(f, snap.screen)) windows.push_back(std::move(*w));
    }
    return Result::success(std::move(windows));
  }

  Outcome<WindowCapture> captureWindow(const CapturableWindow& window, int64_t pixelWidth,
                                       int64_t pixelHeight) override {
    using Result = Outcome<WindowCapture>;
    constexpr int64_t kMaxSide = 32767;  // the largest X11 window
    if (pixelWidth <= 0 || pixelHeight <= 0 || pixelWidth > kMaxSide || pixelHeight > kMaxSide) {
      return Result::failure("X11 capture of window " + hexId(window.windowID) +
                             " failed: no image of " + std::to_string(pixelWidth) + "x" +
                             std::to_string(pixelHeight) + " pixels can be made");
    }
    if (!unanswered_.empty()) return Result::failure(unanswered_);
    X11Session s;
    if (!s.conn) return failed(s.conn, Result::failure(s.conn.why()));
    Result shot = captureX11Window(s.conn.get(), s.atoms, window.windowID);
    // What a broken connection made of the steps is not the window's doing.
    if (s.conn.broken()) return failed(s.conn, Result::failure(s.conn.why()));
    if (shot.ok() && shot.value() &&
        (shot.value()->width != pixelWidth || shot.value()->height != pixelHeight)) {
      return Result::success(resample(*shot.value(), pixelWidth, pixelHeight));
    }
    return shot;
  }

 private:
  // A server that did not answer once is not asked again in this run: each wait would cost
  // the whole limit, and the parent waits for the reply.
  void noteFailure(const XcbConnection& conn) {
    if (conn.timedOut()) unanswered_ = conn.why();
  }
  template <typename T>
  T failed(const XcbConnection& conn, T result) {
    noteFailure(conn);
    return result;
  }

  std::string unanswered_;
};

}  // namespace

std::unique_ptr<WindowSystem> makeX11WindowSystem() {
  return std::make_unique<X11WindowSystem>();
}

}  // namespace lorvane
