#include "windows/sway/wlroots_window_system.h"

#include <cstdlib>

#include "windows/sway/foreign_toplevels.h"
#include "windows/x11/x11_window_system.h"
#include "x11/xcb_handles.h"

namespace lorvane {
namespace {

class WlrootsWindowSystem : public WindowSystem {
 public:
  explicit WlrootsWindowSystem(Outcome<std::vector<ForeignToplevel>> toplevels)
      : toplevels_(std::move(toplevels)) {}

  std::vector<WindowInfo> readWindowList() override {
    const std::vector<WindowInfo> x11 = x11_->readWindowList();
    return toplevels_.ok() ? mergeToplevels(toplevels_.value(), x11) : x11;
  }

  // Only the Xwayland windows can be captured: everything else is X11's.
  bool preflightScreenCapture() override { return x11_->preflightScreenCapture(); }
  void requestScreenCapture() override { x11_->requestScreenCapture(); }
  Outcome<std::vector<CapturableWindow>> shareableContent() override {
    return x11_->shareableContent();
  }
  Outcome<WindowCapture> captureWindow(const CapturableWindow& window, int64_t pixelWidth,
                                       int64_t pixelHeight) override {
    return x11_->captureWindow(window, pixelWidth, pixelHeight);
  }

 private:
  // Read while probing: the list is asked for once per run, right after.
  Outcome<std::vector<ForeignToplevel>> toplevels_;
  std::unique_ptr<WindowSystem> x11_ = makeX11WindowSystem();
};

}  // namespace

std::unique_ptr<WindowSystem> makeWlrootsWindowSystem() {
  // Only in a Wayland session: libwayland would otherwise try "wayland-0" on its own.
  const char* display = std::getenv("WAYLAND_DISPLAY");
  if (display == nullptr || *display == '\0') return nullptr;
  auto toplevels = readForeignToplevels(std::chrono::steady_clock::now() + kX11AnswerLimit);
  if (!toplevels) return nullptr;
  return std::make_unique<WlrootsWindowSystem>(std::move(*toplevels));
}

}  // namespace lorvane
