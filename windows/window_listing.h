#pragma once

#include <vector>

#include "report/json.h"
#include "windows/window_info.h"

namespace lorvane {

/// The "--windows" reply: one {"app", "title"} object per window on layer 0 with an owner
/// name, in list order.
JsonArray windowListReply(const std::vector<WindowInfo>& windows);

}  // namespace lorvane
