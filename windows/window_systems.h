#pragma once

#include <memory>

#include "windows/window_system.h"

namespace lorvane {

/// The window system of this session: the first desktop family whose own check answers (each
/// bounded in time), tried in a fixed order; X11 last, as it also serves the Xwayland windows
/// of a compositor there is no backend for. Never null.
std::unique_ptr<WindowSystem> openWindowSystem();

}  // namespace lorvane
