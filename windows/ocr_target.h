#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "main/args.h"
#include "windows/window_info.h"

namespace lorvane {

/// The processes whose windows "--ocr" never reads: `parentPID` plus the value of every
/// "--exclude-pid=" element (element 0 included). Never empty.
std::set<int32_t> excludedPIDs(ArgList args, int32_t parentPID);

/// The number of the first window, front-most first, on layer 0, owned by no excluded process
/// and larger than 200 x 120 (both strictly). 0 when none qualifies, or when the first
/// qualifying window has no number.
uint32_t selectOcrWindow(const std::vector<WindowInfo>& windows, const std::set<int32_t>& excluded);

}  // namespace lorvane
