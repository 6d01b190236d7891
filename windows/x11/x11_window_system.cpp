#include "windows/x11/x11_window_system.h"

#include <xcb/composite.h>
#include <xcb/damage.h>
#include <xcb/res.h>

#include <optional>

#include "windows/resample.h"
#include "windows/x11/x11_capture.h"
#include "windows/x11/x11_connection.h"
#include "windows/x11/x11_window_reader.h"

namespace lorvane {
namespace {

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
  return w;
}

class X11WindowSystem : public WindowSystem {
 public:
  std::vector<WindowInfo> readWindowList() override {
    auto list = clients<WindowInfo>([](const X11ClientFacts& f, const X11ScreenFacts& screen) {
      return decodeClient(f, screen);
    });
    return list.ok() ? std::move(list.value()) : std::vector<WindowInfo>();
  }

  // X11 has no capture permission: any client that connects may read any window. The root
  // window's pixels are no test of that, as a rootless server (Xwayland) has none to give.
  bool preflightScreenCapture() override {
    if (!unanswered_.empty()) return true;
    const XcbConnection conn;
    if (conn.timedOut()) unanswered_ = conn.why();
    return conn || conn.timedOut();
  }

  void requestScreenCapture() override {}  // X11 has no capture permission to ask for

  Outcome<std::vector<CapturableWindow>> shareableContent() override {
    return clients<CapturableWindow>(capturableOf);
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
    Result shot = onServer<WindowCapture>([&](xcb_connection_t* c, const X11Atoms& a) {
      return captureX11Window(c, a, window.windowID);
    });
    if (shot.ok() && shot.value() &&
        (shot.value()->width != pixelWidth || shot.value()->height != pixelHeight)) {
      return Result::success(resample(*shot.value(), pixelWidth, pixelHeight));
    }
    return shot;
  }

 private:
  // Runs `work` on a fresh connection: every mode makes one or two calls, and a connection
  // opened before a window appears would not change anything anyway. A connection that broke
  // meanwhile gives its failure instead of the result: what it made of the steps is not the
  // windows' doing, and a list read half-way may miss windows.
  template <typename T, typename Work>
  Outcome<T> onServer(Work work) {
    if (!unanswered_.empty()) return Outcome<T>::failure(unanswered_);
    XcbConnection conn;
    std::optional<Outcome<T>> result;
    if (conn) {
      // The extension queries travel together with the atoms.
      xcb_prefetch_extension_data(conn.get(), &xcb_res_id);
      xcb_prefetch_extension_data(conn.get(), &xcb_composite_id);
      xcb_prefetch_extension_data(conn.get(), &xcb_damage_id);
      result.emplace(work(conn.get(), internAtoms(conn.get())));
    }
    if (result && !conn.broken()) return std::move(*result);
    if (conn.timedOut()) unanswered_ = conn.why();
    return Outcome<T>::failure(conn.why());
  }

  // The client windows on screen, each as `decode` makes it.
  template <typename T, typename Decode>
  Outcome<std::vector<T>> clients(Decode decode) {
    return onServer<std::vector<T>>([&](xcb_connection_t* c, const X11Atoms& a) {
      const X11Snapshot snap = readX11Snapshot(c, a);
      std::vector<T> items;
      for (const X11ClientFacts& f : snap.clients) {
        if (auto item = decode(f, snap.screen)) items.push_back(std::move(*item));
      }
      return Outcome<std::vector<T>>::success(std::move(items));
    });
  }

  // Why the server did not answer once: it is not asked again in this run, as each wait would
  // cost the whole limit, and the parent waits for the reply.
  std::string unanswered_;
};

}  // namespace

std::unique_ptr<WindowSystem> makeX11WindowSystem() {
  return std::make_unique<X11WindowSystem>();
}

}  // namespace lorvane
