#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include "windows/text_property.h"
#include "windows/window_info.h"

namespace lorvane {

/// _NET_WM_WINDOW_TYPE, the first type the window lists that we know.
enum class X11WindowType {
  Unset,
  Normal,
  Dialog,
  Utility,
  Dock,
  Desktop,
  Toolbar,
  Menu,
  Splash,
  Notification,
  DropdownMenu,
  PopupMenu,
  Tooltip,
  Combo,
  Dnd,
};
/// The types after Unset, in enum order: the atom name, and the layer the window is on,
/// numbered like the stacking levels desktop applications know (only ordinary application
/// windows, normal and dialog, are on 0). Desktop elements never reach the list.
inline constexpr std::pair<const char*, int64_t> kX11WindowTypes[] = {
    {"_NET_WM_WINDOW_TYPE_NORMAL", 0},
    {"_NET_WM_WINDOW_TYPE_DIALOG", 0},
    {"_NET_WM_WINDOW_TYPE_UTILITY", 19},
    {"_NET_WM_WINDOW_TYPE_DOCK", 20},
    {"_NET_WM_WINDOW_TYPE_DESKTOP", std::numeric_limits<int64_t>::min()},
    {"_NET_WM_WINDOW_TYPE_TOOLBAR", 3},  // floating
    {"_NET_WM_WINDOW_TYPE_MENU", 101},   // popup
    {"_NET_WM_WINDOW_TYPE_SPLASH", 3},
    {"_NET_WM_WINDOW_TYPE_NOTIFICATION", 25},
    {"_NET_WM_WINDOW_TYPE_DROPDOWN_MENU", 101},
    {"_NET_WM_WINDOW_TYPE_POPUP_MENU", 101},
    {"_NET_WM_WINDOW_TYPE_TOOLTIP", 200},
    {"_NET_WM_WINDOW_TYPE_COMBO", 101},
    {"_NET_WM_WINDOW_TYPE_DND", 500},  // dragging
};

/// What the server told us about one client window, undecoded. Filled by the X11 reader;
/// decoded without a server, so the rules below are tested on their own.
struct X11ClientFacts {
  uint32_t window = 0;
  bool viewable = false;
  bool overrideRedirect = false;
  int32_t rootX = 0, rootY = 0;  // top-left of the client area on the root window
  uint32_t width = 0, height = 0;
  std::optional<TextProperty> netWmName;  // UTF8_STRING
  std::optional<TextProperty> wmName;
  std::optional<TextProperty> wmClass;  // "instance\0class\0"
  std::optional<uint32_t> resPid;       // X-Resource: the owning client's pid
  std::optional<uint32_t> netWmPid;
  X11WindowType type = X11WindowType::Unset;
  bool iconic = false;              // WM_STATE is IconicState
  bool hidden = false;              // _NET_WM_STATE holds _NET_WM_STATE_HIDDEN
  std::optional<uint32_t> desktop;  // _NET_WM_DESKTOP
};

/// The screen and what the window manager (when one runs) says about it.
struct X11ScreenFacts {
  uint32_t width = 0, height = 0;
  bool wmLive = false;  // _NET_* state is trusted only while a window manager runs
  std::optional<uint32_t> currentDesktop;
};

/// An untyped window counts as normal (or, with WM_TRANSIENT_FOR, as a dialog): layer 0 both;
/// an override-redirect one as a popup menu.
int64_t layerOf(X11WindowType type, bool overrideRedirect);

/// True when the window is shown on the current desktop and intersects the screen.
bool isOnScreen(const X11ClientFacts& f, const X11ScreenFacts& screen);

/// The title: _NET_WM_NAME, else WM_NAME decoded by its type; always valid UTF-8.
std::string titleOf(const X11ClientFacts& f);

/// Reads /proc/<pid>/comm; injectable for tests.
using CommReader = std::function<std::string(int32_t pid)>;
std::string procComm(int32_t pid);

/// The window-list entry of an on-screen window; nothing for one that is not on screen or is
/// a desktop element.
std::optional<WindowInfo> decodeClient(const X11ClientFacts& f, const X11ScreenFacts& screen,
                                       const CommReader& comm = procComm);

}  // namespace lorvane
