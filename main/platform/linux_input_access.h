#pragma once

#include "main/input_access.h"

namespace lorvane {

/// Granted when an X11 display offers XInput2 or RECORD (any client there may listen to the
/// whole session's input), or when a keyboard event device is readable. In a Wayland session
/// (WAYLAND_DISPLAY or XDG_SESSION_TYPE=wayland, or an X server that is Xwayland) the X11
/// extensions say nothing, as X11 clients there see only other X11 clients' input: only the
/// event devices count. Linux has no prompt to show, so a request gives the same answer as
/// the preflight.
class LinuxInputAccess : public InputAccess {
 public:
  bool preflight() override;
  bool request() override { return preflight(); }
};

}  // namespace lorvane
