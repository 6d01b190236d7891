#pragma once

#include <memory>

#include "windows/window_system.h"

namespace lorvane {

/// The window system of the X11 display named by DISPLAY (libxcb). Connects lazily on each
/// call; without a usable display the list is empty, the preflight false and every capture
/// call an error naming X11.
std::unique_ptr<WindowSystem> makeX11WindowSystem();

}  // namespace lorvane
