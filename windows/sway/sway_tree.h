#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "windows/outcome.h"

namespace lorvane {

/// A rectangle in sway's layout coordinates (logical pixels, all outputs in one plane).
struct LayoutRect {
  int64_t x = 0, y = 0, width = 0, height = 0;
};

/// One toplevel on screen as sway's tree describes it.
struct SwayWindow {
  uint32_t conId = 0;  // sway's container id: stable while the window lives
  int32_t pid = 0;     // 0 when sway does not know it
  std::string app;     // app_id (native) or the X11 class (Xwayland); empty when neither
  std::string title;
  bool hasTitle = false;
  LayoutRect content;  // the client's own area, without borders and title bar
  LayoutRect frame;    // everything sway draws for it (borders, title bar): what it covers
  std::optional<uint32_t> x11Window;  // the X window id of an Xwayland window
  std::string output;                 // the output it is shown on
  LayoutRect outputRect;
  double scale = 1;  // the output's pixels per logical pixel
};

/// The windows shown on screen, front-most first: per output (the focused one first) a
/// fullscreen window, then floating windows top-most first, then tiled ones in the
/// workspace's focus order (most recently focused first); a window fullscreen on all outputs
/// before everything. Windows on hidden workspaces, in the scratchpad or behind another tab
/// are left out. A tree that is no JSON, or no sway tree, is a failure; a node of unexpected
/// shape is skipped or takes defaults.
Outcome<std::vector<SwayWindow>> parseSwayTree(std::string_view json);

}  // namespace lorvane
