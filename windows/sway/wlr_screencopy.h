#pragma once

#include <chrono>
#include <string>

#include "windows/image.h"
#include "windows/outcome.h"
#include "windows/sway/sway_tree.h"

namespace lorvane {

/// One image of a region of an output, as the compositor shows it (wlr-screencopy), without
/// the pointer, at the output's pixel size. `output` is the output's name; `region` is in the
/// output's own logical coordinates and must lie on it. Everything it makes on the Wayland
/// connection is destroyed again on every path; a compositor that does not answer by the
/// deadline is a failure.
Outcome<Image> captureOutputRegion(const std::string& output, const LayoutRect& region,
                                   std::chrono::steady_clock::time_point deadline);

}  // namespace lorvane
