#pragma once

#include <memory>

#include "windows/window_system.h"

namespace lorvane {

/// The window system of a KDE Plasma session: KWin, asked over the session bus (a listing
/// script for the window list, org.kde.KWin.ScreenShot2 for pixels), native and Xwayland
/// windows alike. Null outside a Wayland session (WAYLAND_DISPLAY unset: on X11 the X11 window
/// system serves KWin's desktop too), when no session bus answers, or when nobody owns
/// org.kde.KWin there. All of one run's exchanges share one time limit, that of an X11
/// connection.
std::unique_ptr<WindowSystem> makeKWinWindowSystem();

}  // namespace lorvane
