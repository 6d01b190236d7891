#include "audio/platform/link_policy.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace lorvane::audio {

std::optional<int32_t> procParentOf(int32_t pid) {
  if (pid <= 0) return std::nullopt;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  // "pid (comm) state ppid ...": comm may hold spaces and parentheses, so look after the last ')'.
  const auto close = text.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream rest(text.substr(close + 1));
  std::string state;
  long long ppid = 0;
  if (!(rest >> state >> ppid) || ppid <= 0) return std::nullopt;
  return static_cast<int32_t>(ppid);
}

bool descendsFromExcluded(int32_t pid, const std::vector<int32_t>& excluded,
                          const ParentOf& parentOf) {
  if (excluded.empty()) return false;  // nothing to find: no /proc walk
  std::optional<int32_t> current = pid;
  // Bounded walk: a pid cycle (a stale read racing with pid reuse) cannot loop for ever.
  for (int depth = 0; current && *current > 0 && depth < 256; ++depth) {
    if (std::find(excluded.begin(), excluded.end(), *current) != excluded.end()) return true;
    current = parentOf(*current);
  }
  return false;
}

bool shouldCapture(const StreamNodeInfo& node, const std::vector<int32_t>& excluded,
                   const ParentOf& parentOf) {
  if (node.mediaClass != "Stream/Output/Audio") return false;
  if (node.linkGroup || node.isVirtual || node.monitorStream) return false;
  const auto excludes = [&](std::optional<int32_t> pid) {
    return pid && descendsFromExcluded(*pid, excluded, parentOf);
  };
  // A pulse client's socket credentials are the pulse server's, not the stream owner's.
  return !excludes(node.nodePid) && !excludes(node.client.pid) &&
         (node.client.pulse || !excludes(node.client.secPid));
}

ChannelRoute routeFor(std::string_view channel) {
  if (channel == "LFE" || channel == "LFE2") return {false, false};
  static constexpr std::string_view kLeft[] = {"FL",  "RL",  "SL",  "FLC", "RLC", "TFL",
                                               "TRL", "FLW", "FLH", "TSL", "BLC"};
  static constexpr std::string_view kRight[] = {"FR",  "RR",  "SR",  "FRC", "RRC", "TFR",
                                                "TRR", "FRW", "FRH", "TSR", "BRC"};
  if (std::ranges::find(kLeft, channel) != std::end(kLeft)) return {true, false};
  if (std::ranges::find(kRight, channel) != std::end(kRight)) return {false, true};
  return {true, true};
}

}  // namespace lorvane::audio
