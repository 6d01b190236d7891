#pragma once

#include <xcb/xcb.h>

#include <vector>

#include "windows/x11/x11_client_facts.h"
#include "windows/x11/x11_connection.h"

namespace lorvane {

/// The client windows of the screen, front-most first, with what the server says of each.
struct X11Snapshot {
  X11ScreenFacts screen;
  std::vector<X11ClientFacts> clients;
};

/// Reads every candidate client window with all requests pipelined: a few round trips
/// whatever the number of windows. With a live window manager the candidates are
/// _NET_CLIENT_LIST_STACKING; without one, the root's children that carry WM_STATE (or have a
/// child that does), else viewable non-override-redirect ones. A window that vanishes while
/// it is being read is left out.
X11Snapshot readX11Snapshot(xcb_connection_t* c, const X11Atoms& atoms);

}  // namespace lorvane
