#include "windows/sway/sway_window_system.h"

#include <cstdlib>

#include "windows/covered_parts.h"
#include "windows/resample.h"
#include "windows/sway/sway_ipc.h"
#include "windows/sway/sway_tree.h"
#include "windows/sway/wlr_screencopy.h"
#include "windows/x11/x11_client_facts.h"
#include "windows/x11/x11_window_system.h"
#include "x11/xcb_handles.h"

namespace lorvane {
namespace {

using Clock = std::chrono::steady_clock;

// What covers the target: the frames of the windows before it in the list (front-most first)
// on its output, and the parts of it off the output, in the target's pixels.
std::vector<PixelRect> coveredParts(const std::vector<SwayWindow>& windows,
                                    const SwayWindow& target) {
  const LayoutRect& c = target.content;
  const auto toPixels = [&](const LayoutRect& r) {
    const double s = target.scale;
    return PixelRect{static_cast<int64_t>((r.x - c.x) * s), static_cast<int64_t>((r.y - c.y) * s),
                     static_cast<int64_t>(r.width * s + 0.5),
                     static_cast<int64_t>(r.height * s + 0.5)};
  };
  std::vector<PixelRect> parts;
  for (const SwayWindow& w : windows) {
    if (w.conId == target.conId) break;
    if (w.output == target.output) parts.push_back(toPixels(w.frame));
  }
  // Outside the output: the strips around its rectangle.
  const LayoutRect& o = target.outputRect;
  constexpr int64_t kFar = 1 << 20;
  for (const LayoutRect& r : {LayoutRect{o.x - kFar, o.y - kFar, 3 * kFar, kFar},
                              LayoutRect{o.x - kFar, o.y + o.height, 3 * kFar, kFar},
                              LayoutRect{o.x - kFar, o.y, kFar, o.height},
                              LayoutRect{o.x + o.width, o.y, kFar, o.height}}) {
    parts.push_back(toPixels(r));
  }
  return parts;
}

class SwayWindowSystem : public WindowSystem {
 public:
  explicit SwayWindowSystem(std::unique_ptr<SwayIpc> ipc) : ipc_(std::move(ipc)) {}

  std::vector<WindowInfo> readWindowList() override {
    auto tree = readTree();
    std::vector<WindowInfo> list;
    if (!tree.ok()) return list;
    for (const SwayWindow& w : tree.value()) {
      WindowInfo info;
      info.layer = 0;  // sway's tree holds application windows only
      info.ownerName = appOf(w);
      info.title = w.title;
      info.ownerPID = w.pid;
      info.width = static_cast<double>(w.content.width);
      info.height = static_cast<double>(w.content.height);
      info.number = w.conId;
      list.push_back(std::move(info));
    }
    return list;
  }

  // sway lets every client of its socket copy the screen: there is nothing to ask.
  bool preflightScreenCapture() override { return true; }
  void requestScreenCapture() override {}

  Outcome<std::vector<CapturableWindow>> shareableContent() override {
    auto tree = readTree();
    if (!tree.ok()) return Outcome<std::vector<CapturableWindow>>::failure(tree.error());
    windows_ = std::move(tree.value());
    std::vector<CapturableWindow> content;
    for (const SwayWindow& w : windows_) {
      CapturableWindow c;
      c.windowID = w.conId;
      if (std::string app = appOf(w); !app.empty()) c.applicationName = std::move(app);
      if (w.hasTitle) c.title = w.title;
      c.contentWidth = static_cast<double>(w.content.width);
      c.contentHeight = static_cast<double>(w.content.height);
      // Xwayland windows are read from the X server, at their X11 size.
      c.pointPixelScale = w.x11Window ? 1.0f : static_cast<float>(w.scale);
      content.push_back(std::move(c));
    }
    return Outcome<std::vector<CapturableWindow>>::success(std::move(content));
  }

  Outcome<WindowCapture> captureWindow(const CapturableWindow& window, int64_t pixelWidth,
                                       int64_t pixelHeight) override {
    using Result = Outcome<WindowCapture>;
    const SwayWindow* target = nullptr;
    for (const SwayWindow& w : windows_) {
      if (w.conId == window.windowID) target = &w;
    }
    if (target == nullptr) return Result::success(std::nullopt);
    if (target->x11Window) {
      CapturableWindow x11 = window;
      x11.windowID = *target->x11Window;
      return x11_->captureWindow(x11, pixelWidth, pixelHeight);
    }
    return captureNative(*target, pixelWidth, pixelHeight);
  }

 private:
  Outcome<std::vector<SwayWindow>> readTree() {
    using Result = Outcome<std::vector<SwayWindow>>;
    // A request that failed closed the connection: sway is not asked again in this run, as
    // each wait could cost the whole limit while the parent waits for the reply.
    auto reply = ipc_->request(SwayMessage::getTree, "", Clock::now() + kX11AnswerLimit);
    if (!reply.ok()) return Result::failure(reply.error());
    return parseSwayTree(reply.value());
  }

  static std::string appOf(const SwayWindow& w) { return w.app.empty() ? procComm(w.pid) : w.app; }

  Outcome<WindowCapture> captureNative(const SwayWindow& target, int64_t pixelWidth,
                                       int64_t pixelHeight) {
    using Result = Outcome<WindowCapture>;
    const std::string what = "capture of sway window " + std::to_string(target.conId);
    if (pixelWidth <= 0 || pixelHeight <= 0) {
      return Result::failure(what + " failed: the window has no area");
    }
    // Only what is on the output can be copied; the rest stays blank.
    const LayoutRect& c = target.content;
    const LayoutRect& o = target.outputRect;
    const int64_t left = std::max(c.x, o.x), top = std::max(c.y, o.y);
    const int64_t right = std::min(c.x + c.width, o.x + o.width);
    const int64_t bottom = std::min(c.y + c.height, o.y + o.height);
    Image image{pixelWidth, pixelHeight,
                std::vector<uint32_t>(static_cast<size_t>(pixelWidth * pixelHeight), 0xFFFFFF)};
    if (right > left && bottom > top) {
      auto shot =
          captureOutputRegion(target.output, {left - o.x, top - o.y, right - left, bottom - top},
                              Clock::now() + kX11AnswerLimit);
      if (!shot.ok()) return Result::failure(what + ": " + shot.error());
      // Into its place in the window's image, at the asked size.
      const double s = target.scale;
      const auto w = std::min<int64_t>(static_cast<int64_t>((right - left) * s + 0.5), pixelWidth);
      const auto h = std::min<int64_t>(static_cast<int64_t>((bottom - top) * s + 0.5), pixelHeight);
      const Image part =
          (shot.value().width == w && shot.value().height == h)
              ? std::move(shot.value())
              : resample(shot.value(), std::max<int64_t>(w, 1), std::max<int64_t>(h, 1));
      const auto x0 = static_cast<int64_t>((left - c.x) * s),
                 y0 = static_cast<int64_t>((top - c.y) * s);
      for (int64_t y = 0; y < part.height && y0 + y < pixelHeight; ++y) {
        for (int64_t x = 0; x < part.width && x0 + x < pixelWidth; ++x) {
          image.pixels[static_cast<size_t>((y0 + y) * pixelWidth + x0 + x)] =
              part.pixels[static_cast<size_t>(y * part.width + x)];
        }
      }
    }
    blankParts(image, coveredParts(windows_, target));
    return Result::success(std::move(image));
  }

  std::unique_ptr<SwayIpc> ipc_;
  std::vector<SwayWindow> windows_;  // the tree shareableContent() last read
  std::unique_ptr<WindowSystem> x11_ = makeX11WindowSystem();
};

}  // namespace

std::unique_ptr<WindowSystem> makeSwayWindowSystem() {
  const char* socket = std::getenv("SWAYSOCK");
  if (socket == nullptr || *socket == '\0') return nullptr;
  auto ipc = std::make_unique<SwayIpc>(socket);
  if (!ipc->connected()) return nullptr;
  return std::make_unique<SwayWindowSystem>(std::move(ipc));
}

}  // namespace lorvane
