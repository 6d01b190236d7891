#include "windows/gnome/shell_windows.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>
#include <utility>

namespace lorvane {
namespace {

using Json = nlohmann::json;

constexpr std::string_view kDesktop = "desktop";

// Mutter's window types with the layer each is on, numbered like the X11 stacking levels.
constexpr std::pair<std::string_view, int64_t> kShellTypes[] = {
    {"normal", 0},          {"dialog", 0},       {"modal_dialog", 0},     {"utility", 19},
    {"dock", 20},           {"toolbar", 3},      {"menu", 101},           {"splash", 3},
    {"dropdown_menu", 101}, {"popup_menu", 101}, {"tooltip", 200},        {"notification", 25},
    {"combo", 101},         {"dnd", 500},        {"override_other", 101},
};

template <typename T>
void read(const Json& object, const char* key, T& out) {
  const auto it = object.find(key);
  if (it == object.end()) return;
  if constexpr (std::is_same_v<T, std::string>) {
    if (it->is_string()) out = it->template get<std::string>();
  } else if constexpr (std::is_same_v<T, bool>) {
    if (it->is_boolean()) out = it->template get<bool>();
  } else if constexpr (std::is_same_v<T, double>) {
    if (it->is_number()) out = it->template get<double>();
  } else {
    // Integers only when they fit: a wrapped id or pid would name another window or process.
    if (!it->is_number_integer()) return;
    const int64_t v = it->template get<int64_t>();
    if (v >= std::numeric_limits<T>::min() && v <= std::numeric_limits<T>::max()) {
      out = static_cast<T>(v);
    }
  }
}

std::string ownerNameOf(const ShellWindow& w, const CommReader& comm) {
  if (!w.app.empty()) return w.app;
  if (!w.wmClass.empty()) return w.wmClass;
  return comm(w.pid);
}

}  // namespace

Outcome<std::vector<ShellWindow>> parseShellWindows(std::string_view json) {
  using Result = Outcome<std::vector<ShellWindow>>;
  const Json doc = Json::parse(json, nullptr, /*allow_exceptions=*/false);
  if (!doc.is_array()) {
    return Result::failure("GNOME Shell extension: the window list is not a JSON array");
  }
  std::vector<ShellWindow> windows;
  for (const Json& entry : doc) {
    if (!entry.is_object()) continue;
    ShellWindow w;
    read(entry, "id", w.id);
    read(entry, "pid", w.pid);
    read(entry, "title", w.title);
    read(entry, "class", w.wmClass);
    read(entry, "appId", w.appId);
    read(entry, "app", w.app);
    read(entry, "type", w.type);
    read(entry, "x11", w.x11);
    read(entry, "focus", w.focus);
    read(entry, "width", w.width);
    read(entry, "height", w.height);
    read(entry, "scale", w.scale);
    if (!std::isfinite(w.scale) || w.scale <= 0) w.scale = 1;
    windows.push_back(std::move(w));
  }
  return Result::success(std::move(windows));
}

std::optional<int64_t> layerOfShellType(std::string_view type) {
  for (const auto& [name, layer] : kShellTypes) {
    if (name == type) return layer;
  }
  return std::nullopt;
}

std::optional<WindowInfo> windowInfoOf(const ShellWindow& w, const CommReader& comm) {
  if (w.type == kDesktop) return std::nullopt;
  WindowInfo info;
  info.layer = layerOfShellType(w.type);
  info.ownerName = ownerNameOf(w, comm);
  info.title = w.title;
  info.ownerPID = w.pid;
  info.width = w.width;
  info.height = w.height;
  info.number = w.id;
  return info;
}

std::optional<CapturableWindow> capturableOf(const ShellWindow& w, const CommReader& comm) {
  if (w.type == kDesktop) return std::nullopt;
  CapturableWindow c;
  c.windowID = w.id;
  if (std::string name = ownerNameOf(w, comm); !name.empty()) c.applicationName = std::move(name);
  if (!w.title.empty()) c.title = w.title;
  c.contentWidth = w.width;
  c.contentHeight = w.height;
  c.pointPixelScale = static_cast<float>(w.scale);
  return c;
}

}  // namespace lorvane
