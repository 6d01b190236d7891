#include "windows/ocr_target.h"

namespace lorvane {

std::set<int32_t> excludedPIDs(ArgList args, int32_t parentPID) {
  std::set<int32_t> pids{parentPID};
  // Element 0 included, unlike the audio mode's loop: text capture takes an exclusion even
  // where the program's name stands.
  for (const char* element : args) {
    if (element == nullptr) continue;
    if (const auto pid = parseExcludePid(element)) pids.insert(*pid);
  }
  return pids;
}

uint32_t selectOcrWindow(const std::vector<WindowInfo>& windows,
                         const std::set<int32_t>& excluded) {
  for (const WindowInfo& w : windows) {
    if (!w.layer || *w.layer != 0) continue;
    if (excluded.contains(w.ownerPID)) continue;
    // Written as "greater than" so that NaN fails.
    if (!w.width || !(*w.width > 200.0)) continue;
    if (!w.height || !(*w.height > 120.0)) continue;
    return w.number;
  }
  return 0;
}

}  // namespace lorvane
