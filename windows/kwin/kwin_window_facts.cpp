#include "windows/kwin/kwin_window_facts.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <limits>

namespace lorvane {
namespace {

using nlohmann::json;

void read(const json& o, const char* key, std::string& out) {
  const auto it = o.find(key);
  if (it != o.end() && it->is_string()) out = it->get<std::string>();
}

void read(const json& o, const char* key, bool& out) {
  const auto it = o.find(key);
  if (it != o.end() && it->is_boolean()) out = it->get<bool>();
}

void read(const json& o, const char* key, double& out) {
  const auto it = o.find(key);
  if (it != o.end() && it->is_number() && std::isfinite(it->get<double>())) {
    out = it->get<double>();
  }
}

// Only whole numbers within 32 bits: pids and stacking positions are no larger.
void read(const json& o, const char* key, int64_t& out) {
  double d = std::numeric_limits<double>::quiet_NaN();
  read(o, key, d);
  if (d == std::trunc(d) && std::fabs(d) <= std::numeric_limits<int32_t>::max()) {
    out = static_cast<int64_t>(d);
  }
}

}  // namespace

std::optional<std::vector<KWinWindowFacts>> parseKWinReport(std::string_view text) {
  const json report = json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (!report.is_array()) return std::nullopt;
  std::vector<KWinWindowFacts> facts;
  for (const json& o : report) {
    if (!o.is_object()) continue;
    KWinWindowFacts f;
    read(o, "internalId", f.internalId);
    if (f.internalId.empty()) continue;  // nothing to capture it by
    read(o, "pid", f.pid);
    read(o, "caption", f.caption);
    read(o, "resourceClass", f.resourceClass);
    read(o, "desktopFileName", f.desktopFileName);
    read(o, "x", f.x);
    read(o, "y", f.y);
    read(o, "width", f.width);
    read(o, "height", f.height);
    read(o, "active", f.active);
    read(o, "minimized", f.minimized);
    read(o, "stacking", f.stacking);
    read(o, "onCurrentDesktop", f.onCurrentDesktop);
    read(o, "normal", f.normal);
    read(o, "dialog", f.dialog);
    read(o, "special", f.special);
    read(o, "desktop", f.desktop);
    read(o, "dock", f.dock);
    read(o, "deleted", f.deleted);
    facts.push_back(std::move(f));
  }
  return facts;
}

std::vector<KWinWindowFacts> visibleFrontFirst(std::vector<KWinWindowFacts> facts) {
  std::erase_if(facts, [](const KWinWindowFacts& f) {
    return !f.onCurrentDesktop || f.minimized || f.deleted || f.special || f.desktop || f.dock ||
           f.width <= 0 || f.height <= 0;
  });
  std::stable_sort(facts.begin(), facts.end(), [](const auto& a, const auto& b) {
    if (a.stacking != b.stacking) return a.stacking > b.stacking;
    return a.active && !b.active;
  });
  return facts;
}

WindowInfo windowInfoOf(const KWinWindowFacts& f, uint32_t number) {
  WindowInfo info;
  info.layer = f.normal || f.dialog ? 0 : 1;
  info.ownerName = !f.resourceClass.empty() ? f.resourceClass : f.desktopFileName;
  info.title = f.caption;
  info.ownerPID = static_cast<int32_t>(f.pid);
  info.width = f.width;
  info.height = f.height;
  info.number = number;
  return info;
}

}  // namespace lorvane
