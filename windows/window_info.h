#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace lorvane {

/// One entry of the on-screen window list, front-most first. A field the window system does
/// not supply (or supplies malformed) keeps its default.
struct WindowInfo {
  std::optional<int64_t> layer;  // 0: ordinary application windows (normal and dialog)
  std::string ownerName;         // application name; empty when unknown
  std::string title;             // empty when none
  int32_t ownerPID = 0;          // 0 when unknown
  std::optional<double> width;   // client size in points (pixels on X11)
  std::optional<double> height;
  uint32_t number = 0;  // the window's identifier (X11: the client window's XID)
};

}  // namespace lorvane
