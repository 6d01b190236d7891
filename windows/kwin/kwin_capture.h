#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "windows/dbus/dbus_bus.h"
#include "windows/image.h"
#include "windows/outcome.h"
#include "windows/window_system.h"

namespace lorvane {

/// The image in the raw bytes ScreenShot2 wrote, described by its results ("width", "height",
/// "stride", "format": a QImage format). 32-bit formats only (KWin gives no other); alpha is
/// laid over white, as a translucent window would show on a light desktop.
Outcome<Image> decodeScreenShot(const std::vector<uint8_t>& bytes, const dbus::Dict& results);

/// One image of the window with KWin's internal id `internalId` through
/// org.kde.KWin.ScreenShot2.CaptureWindow, without the pointer; nothing when KWin no longer
/// knows the window. Ends by `deadline` (KWin never answers for a minimized window).
Outcome<WindowCapture> captureKWinWindow(dbus::Bus& bus, const std::string& internalId,
                                         dbus::Deadline deadline);

/// The D-Bus error name ScreenShot2 gives a process it does not serve.
inline constexpr char kKWinNotAuthorized[] = "org.kde.KWin.ScreenShot2.Error.NoAuthorized";

/// Asks ScreenShot2 for a window that does not exist: KWin checks the caller before it looks
/// for the window, so the answer is kKWinNotAuthorized for a process it does not serve and
/// InvalidWindow for one it does, without a picture taken.
dbus::Answer probeKWinCapture(dbus::Bus& bus, dbus::Deadline deadline);

}  // namespace lorvane
