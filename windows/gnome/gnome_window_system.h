#pragma once

#include <memory>

#include "windows/window_system.h"

namespace lorvane {

/// The uuid of our GNOME Shell extension, as its metadata.json and install folder name it.
inline constexpr char kGnomeExtensionUuid[] = "lorvane-tap@example.org";

/// The window system of a GNOME Shell Wayland session, or null when GNOME Shell does not
/// answer on the session bus (or the session is not a Wayland one). GNOME gives ordinary programs
/// no window list and no window capture; our extension, once the user has enabled it, exports both
/// on the shell's connection. Without it the list is what Xwayland shows (X11 windows only),
/// capture is refused, and the request opens the Extensions app where the user can enable it (it
/// never enables it itself).
std::unique_ptr<WindowSystem> makeGnomeWindowSystem();

}  // namespace lorvane
