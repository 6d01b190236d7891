#pragma once

#include <optional>
#include <string>
#include <vector>

namespace lorvane {

/// What an X server says about itself that decides whether its clients may hear all input.
/// Gathered by the probe in one round of requests; a reply that did not come leaves the
/// field unknown.
struct X11InputFacts {
  std::optional<bool> xwaylandExtension;  // the XWAYLAND extension (newer Xwayland only)
  /// RandR output names (none on a server without RandR); unknown when it did not answer.
  std::optional<std::vector<std::string>> outputNames;
  bool record = false;  // the RECORD extension
  int xinputMajor = 0;  // XInput version the server agrees to, 0 without the extension
};

/// True when the server is Xwayland, or may be: an unanswered question counts as yes, as a
/// wrong "granted" is the worse mistake. Xwayland 22 and older offer no XWAYLAND extension
/// but name their RandR outputs "XWAYLAND0", "XWAYLAND1"...
bool mayBeXwayland(const X11InputFacts& facts);

/// True when any client of this server may listen to the whole session's input: RECORD or
/// XInput 2 on a server that is not Xwayland (whose clients see only other X11 clients).
bool x11GrantsGlobalInput(const X11InputFacts& facts);

}  // namespace lorvane
