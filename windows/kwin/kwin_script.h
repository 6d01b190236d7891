#pragma once

#include <string>

namespace lorvane {

/// The listing script (kwin_list_windows.js, compiled in), with the placeholders @SERVICE@,
/// @PATH@ and @INTERFACE@ for where it sends its report.
extern const char* const kKWinListScript;

/// The listing script, reporting to method "Windows" of `interface` at `path` of `service`.
std::string kwinListScript(const std::string& service, const std::string& path,
                           const std::string& interface);

}  // namespace lorvane
