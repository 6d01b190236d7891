#pragma once

#include <string>

#include "windows/dbus/dbus_bus.h"
#include "windows/outcome.h"

namespace lorvane {

/// Runs the listing script inside KWin and waits for its report. The script goes to a private
/// temporary file (KWin loads scripts by path), is loaded under a name of this process's own
/// through org.kde.kwin.Scripting, started, and unloaded once it has reported or the deadline
/// has passed. Only a report sent by the owner of org.kde.KWin counts.
class KWinListing {
 public:
  explicit KWinListing(dbus::Bus& bus) : bus_(bus) {}

  /// The script's JSON report, or why there is none (naming KWin or D-Bus).
  Outcome<std::string> run(dbus::Deadline deadline);

 private:
  Outcome<int32_t> load(const std::string& file, const std::string& name, dbus::Deadline deadline);
  dbus::Answer start(int32_t id, dbus::Deadline deadline);
  void unload(const std::string& name, dbus::Deadline deadline);

  dbus::Bus& bus_;
  bool exported_ = false;
  std::string kwin_;    // org.kde.KWin's unique name: the only sender a report is taken from
  std::string report_;  // the last report
  bool reported_ = false;
  int runs_ = 0;
};

}  // namespace lorvane
