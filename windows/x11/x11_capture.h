#pragma once

#include <xcb/xcb.h>

#include "windows/outcome.h"
#include "windows/window_system.h"
#include "windows/x11/x11_connection.h"

namespace lorvane {

/// The full content of a client window at its own size, also where it is covered by other
/// windows or sticks out of the screen: without a compositor the window's top-level ancestor
/// is redirected with the Composite extension for the time of the capture (the client
/// repaints what was hidden; we wait for that, bounded) and read from its backing pixmap.
/// Nothing when the window is not shown or goes while it is captured.
Outcome<WindowCapture> captureX11Window(xcb_connection_t* c, const X11Atoms& atoms,
                                        xcb_window_t window);

}  // namespace lorvane
