#pragma once

#include <xcb/xcb.h>

#include <optional>
#include <string>
#include <vector>

#include "x11/xcb_handles.h"

namespace lorvane {

/// "0x1a00003": how X11 tools print window ids.
std::string hexId(xcb_window_t window);

/// "BadWindow (error 3) in GetImage": the X error as a person can look it up.
std::string describeXError(const xcb_generic_error_t* error);

/// The atoms this program reads, interned in one round trip.
struct X11Atoms {
  xcb_atom_t utf8String, compoundText, netWmName, netWmPid, netWmWindowType, netWmState,
      netWmStateHidden, netWmDesktop, netCurrentDesktop, netClientListStacking,
      netSupportingWmCheck, wmState, netWmCmS0;
  // _NET_WM_WINDOW_TYPE_* in the order of X11WindowType after Unset.
  std::vector<xcb_atom_t> windowTypes;
};
X11Atoms internAtoms(xcb_connection_t* c);

/// Asks for the first `longs` 32-bit units of a window's property, of any type.
xcb_get_property_cookie_t requestProperty(xcb_connection_t* c, xcb_window_t window,
                                          xcb_atom_t property, uint32_t longs = 64);

/// A property's bytes and type as the server sent them; not present when it is missing or
/// the window is gone.
struct X11Property {
  bool present = false;
  xcb_atom_t type = XCB_ATOM_NONE;
  uint8_t format = 0;
  std::string bytes;
  bool cut = false;  // the property holds more than was asked for
};
/// Reads the reply; sets `*windowGone` when the server answered with an error instead.
X11Property takeProperty(xcb_connection_t* c, xcb_get_property_cookie_t cookie,
                         bool* windowGone = nullptr);

/// Every 32-bit item of a format-32 property.
std::vector<uint32_t> card32List(const X11Property& p);
/// The first of them; nothing when there is none.
std::optional<uint32_t> firstCard32(const X11Property& p);

}  // namespace lorvane
