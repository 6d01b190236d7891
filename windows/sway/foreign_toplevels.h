#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "windows/outcome.h"
#include "windows/window_info.h"

namespace lorvane {

/// A window as wlr-foreign-toplevel-management tells it: no owner, no size, no stacking.
struct ForeignToplevel {
  std::string title;
  std::string appId;
  bool activated = false;
  bool minimized = false;
};

/// The compositor's toplevels from zwlr_foreign_toplevel_manager_v1, in the order it announced
/// them; nothing when it does not offer the protocol (or WAYLAND_DISPLAY names no compositor).
/// A compositor that offers it but does not answer by the deadline is a failure.
std::optional<Outcome<std::vector<ForeignToplevel>>> readForeignToplevels(
    std::chrono::steady_clock::time_point deadline);

/// The window list of a wlroots compositor without sway's IPC: the active toplevel first, then
/// the others as announced; minimized ones left out. A toplevel that is an Xwayland window (one
/// of `x11` with its title, and its class as app id or no app id) is listed as X11 lists it,
/// with owner pid and size; the others with pid 0, no size and number 0, so that they are
/// never a capture target. X11 windows no toplevel names come last, in X11's order.
std::vector<WindowInfo> mergeToplevels(const std::vector<ForeignToplevel>& toplevels,
                                       const std::vector<WindowInfo>& x11);

}  // namespace lorvane
