#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "windows/window_info.h"

namespace lorvane {

/// One window as the listing script inside KWin reports it (kwin_list_windows.js). A fact the
/// script did not give keeps its default.
struct KWinWindowFacts {
  std::string internalId;  // KWin's UUID text, the handle ScreenShot2 takes
  int64_t pid = 0;
  std::string caption;
  std::string resourceClass;
  std::string desktopFileName;
  double x = 0, y = 0, width = 0, height = 0;  // frame geometry, logical pixels
  bool active = false;
  bool minimized = false;
  int64_t stacking = -1;  // position in the stacking order, bottom 0; -1 unknown
  bool onCurrentDesktop = false;
  bool normal = false;  // an ordinary application window
  bool dialog = false;
  bool special = false;  // KWin's own surfaces: desktop, dock, OSD, notification, splash...
  bool desktop = false;
  bool dock = false;
  bool deleted = false;  // closing, only its last picture left
};

/// The facts in the script's JSON report; nothing when the report is no JSON array. An entry
/// that is no object, or has no internal id, is left out; a member of another type than
/// expected keeps its default.
std::optional<std::vector<KWinWindowFacts>> parseKWinReport(std::string_view json);

/// The windows a user sees: on the current desktop, not minimized, not closing, and not one of
/// KWin's own surfaces; front-most first (the stacking order, then the active window before
/// the others, then the report's order).
std::vector<KWinWindowFacts> visibleFrontFirst(std::vector<KWinWindowFacts> facts);

/// The list entry of a visible window, numbered `number`: layer 0 for normal windows and
/// dialogs, 1 for the rest (utility windows, menus, toolbars); the application is the
/// resource class, else the desktop file name.
WindowInfo windowInfoOf(const KWinWindowFacts& f, uint32_t number);

}  // namespace lorvane
