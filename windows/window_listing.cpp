#include "windows/window_listing.h"

namespace lorvane {

JsonArray windowListReply(const std::vector<WindowInfo>& windows) {
  JsonArray reply;
  for (const WindowInfo& w : windows) {
    if (!w.layer || *w.layer != 0) continue;
    if (w.ownerName.empty()) continue;
    reply.push_back(JsonObject{{{"app", w.ownerName}, {"title", w.title}}});
  }
  return reply;
}

}  // namespace lorvane
