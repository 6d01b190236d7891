#pragma once

#include <memory>

#include "windows/window_system.h"

namespace lorvane {

/// The window system of a sway session: the window list from sway's IPC tree ($SWAYSOCK),
/// native windows captured with wlr-screencopy, Xwayland windows over X11 by their X window
/// id. Null when $SWAYSOCK is not set or nobody listens there.
std::unique_ptr<WindowSystem> makeSwayWindowSystem();

}  // namespace lorvane
