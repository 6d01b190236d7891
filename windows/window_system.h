#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "windows/image.h"
#include "windows/outcome.h"
#include "windows/window_info.h"

namespace lorvane {

/// A window that can be captured, as the capture service describes it.
struct CapturableWindow {
  uint32_t windowID = 0;
  std::optional<std::string> applicationName;
  std::optional<std::string> title;
  double contentWidth = 0;  // the window's content rectangle, in points
  double contentHeight = 0;
  float pointPixelScale = 1;  // pixels per point (1 on X11)
};

/// What capturing a window gives: its image, or nothing when the window has gone (closed or
/// hidden before or during the capture).
using WindowCapture = std::optional<Image>;

/// The desktop's window list and window capture.
class WindowSystem {
 public:
  virtual ~WindowSystem() = default;
  /// On-screen windows, front-most first, desktop elements left out. Never fails as a whole:
  /// problems give an empty list or a field's default.
  virtual std::vector<WindowInfo> readWindowList() = 0;
  /// True when windows can be captured; asks nothing. A window system that does not answer
  /// is no refusal: the calls that follow report it.
  virtual bool preflightScreenCapture() = 0;
  /// Asks for capture permission where the system has such a thing.
  virtual void requestScreenCapture() = 0;
  /// The windows that can be captured (on-screen, desktop windows excluded), or an error text.
  virtual Outcome<std::vector<CapturableWindow>> shareableContent() = 0;
  /// One image of the window at the given pixel size, without the pointer.
  virtual Outcome<WindowCapture> captureWindow(const CapturableWindow& window, int64_t pixelWidth,
                                               int64_t pixelHeight) = 0;
};

}  // namespace lorvane
