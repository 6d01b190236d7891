#pragma once

#include <memory>

#include "windows/window_system.h"

namespace lorvane {

/// The window system of a wlroots compositor without sway's IPC (labwc, Wayfire, river...):
/// the list from wlr-foreign-toplevel-management merged with the Xwayland windows; capture of
/// the Xwayland windows over X11 (native ones come without size and are never a target). Null
/// without WAYLAND_DISPLAY, or when the compositor does not offer the protocol.
std::unique_ptr<WindowSystem> makeWlrootsWindowSystem();

}  // namespace lorvane
