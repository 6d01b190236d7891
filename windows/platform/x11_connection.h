#pragma once

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lorvane {

struct XcbDisconnect {
  void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
using XcbConnection = std::unique_ptr<xcb_connection_t, XcbDisconnect>;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
/// Replies and errors of libxcb are malloc'd.
template <typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter>;

/// Opens the display named by DISPLAY; an empty pointer when that fails, with the reason in
/// `why`.
XcbConnection connectX11(std::string& why);

/// "0x1a00003": how X11 tools print window ids.
std::string hexId(xcb_window_t window);

/// "BadWindow (error 3) in GetImage": the X error as a person can look it up.
std::string describeXError(const xcb_generic_error_t* error);

/// The atoms this program reads, interned in one round trip.
struct X11Atoms {
  xcb_atom_t utf8String, netWmName, netWmPid, netWmWindowType, netWmState, netWmStateHidden,
      netWmDesktop, netCurrentDesktop, netClientListStacking, netSupportingWmCheck, wmState,
      netWmCmS0;
  // _NET_WM_WINDOW_TYPE_* in the order of X11WindowType after Unset.
  std::vector<xcb_atom_t> windowTypes;
};
X11Atoms internAtoms(xcb_connection_t* c);

/// A property's bytes and type; empty when it is missing or the window is gone.
struct PropertyValue {
  bool present = false;
  xcb_atom_t type = XCB_ATOM_NONE;
  uint8_t format = 0;
  std::string bytes;
};
PropertyValue takeProperty(xcb_connection_t* c, xcb_get_property_cookie_t cookie,
                           bool* windowGone = nullptr);

/// The first 32-bit item of a format-32 property.
bool firstCard32(const PropertyValue& p, uint32_t& out);
/// Every 32-bit item of a format-32 property.
std::vector<uint32_t> card32List(const PropertyValue& p);

}  // namespace lorvane
