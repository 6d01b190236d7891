#include "windows/sway/sway_tree.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <limits>

namespace lorvane {
namespace {

using Json = nlohmann::json;

const Json* member(const Json& node, const char* key) {
  if (!node.is_object()) return nullptr;
  const auto it = node.find(key);
  return it == node.end() ? nullptr : &*it;
}

std::optional<int64_t> integer(const Json& node, const char* key) {
  const Json* v = member(node, key);
  if (v == nullptr) return std::nullopt;
  if (v->is_number_unsigned()) {
    const auto u = v->get<uint64_t>();
    if (u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return std::nullopt;
    return static_cast<int64_t>(u);
  }
  if (v->is_number_integer()) return v->get<int64_t>();
  return std::nullopt;
}

std::optional<std::string> text(const Json& node, const char* key) {
  const Json* v = member(node, key);
  if (v == nullptr || !v->is_string()) return std::nullopt;
  return v->get<std::string>();
}

// A coordinate or length; kept within what a layout can hold, so that sums cannot overflow.
int64_t coordinate(const Json& node, const char* key) {
  constexpr int64_t kLimit = int64_t{1} << 31;
  return std::clamp<int64_t>(integer(node, key).value_or(0), -kLimit, kLimit);
}

LayoutRect rectOf(const Json& node, const char* key) {
  LayoutRect r;
  if (const Json* v = member(node, key)) {
    r.x = coordinate(*v, "x");
    r.y = coordinate(*v, "y");
    r.width = std::max<int64_t>(0, coordinate(*v, "width"));
    r.height = std::max<int64_t>(0, coordinate(*v, "height"));
  }
  return r;
}

bool isTrue(const Json& node, const char* key) {
  const Json* v = member(node, key);
  return v != nullptr && v->is_boolean() && v->get<bool>();
}

// The members of a node's child list ("nodes" or "floating_nodes") that are objects.
std::vector<const Json*> children(const Json& node, const char* key) {
  std::vector<const Json*> out;
  const Json* list = member(node, key);
  if (list == nullptr || !list->is_array()) return out;
  for (const Json& child : *list) {
    if (child.is_object()) out.push_back(&child);
  }
  return out;
}

// Children most recently focused first: those the node's focus list names, in its order,
// then the others as listed.
std::vector<const Json*> inFocusOrder(std::vector<const Json*> nodes, const Json& parent) {
  std::vector<int64_t> focus;
  if (const Json* list = member(parent, "focus"); list != nullptr && list->is_array()) {
    for (const Json& id : *list) {
      if (id.is_number_integer()) focus.push_back(id.get<int64_t>());
    }
  }
  const auto rank = [&](const Json* n) {
    const auto id = integer(*n, "id");
    const auto at = id ? std::ranges::find(focus, *id) : focus.end();
    return at - focus.begin();
  };
  std::ranges::stable_sort(nodes, {}, rank);
  return nodes;
}

// A window, as opposed to a container of windows.
bool isView(const Json& node) {
  return member(node, "shell") != nullptr;
}

struct Layers {
  std::vector<const Json*> global;      // fullscreen on every output
  std::vector<const Json*> fullscreen;  // fullscreen on its workspace
  std::vector<const Json*> floating;
  std::vector<const Json*> tiled;
};

// The windows under `node` (itself included) in focus order, into `layer` unless a
// fullscreen container on the way moves them up.
void collect(const Json& node, std::vector<const Json*>* layer, Layers& layers) {
  const int64_t mode = integer(node, "fullscreen_mode").value_or(0);
  if (mode == 2) layer = &layers.global;
  if (mode == 1 && layer != &layers.global) layer = &layers.fullscreen;
  if (isView(node)) {
    layer->push_back(&node);
    return;
  }
  for (const Json* child : inFocusOrder(children(node, "nodes"), node)) {
    collect(*child, layer, layers);
  }
  // Floating windows belong to workspaces; a container holds none, but read them if it does.
  for (const Json* child : inFocusOrder(children(node, "floating_nodes"), node)) {
    collect(*child, layer, layers);
  }
}

struct Output {
  std::string name;
  LayoutRect rect;
  double scale = 1;
};

std::optional<SwayWindow> windowOf(const Json& view, const Output& output) {
  if (!isTrue(view, "visible")) return std::nullopt;
  const auto id = integer(view, "id");
  if (!id || *id < 0 || *id > std::numeric_limits<uint32_t>::max()) return std::nullopt;
  SwayWindow w;
  w.conId = static_cast<uint32_t>(*id);
  if (const auto pid = integer(view, "pid");
      pid && *pid >= 0 && *pid <= std::numeric_limits<int32_t>::max()) {
    w.pid = static_cast<int32_t>(*pid);
  }
  const bool xwayland = text(view, "shell") == "xwayland";
  if (xwayland) {
    if (const Json* props = member(view, "window_properties")) {
      w.app = text(*props, "class").value_or("");
    }
    if (const auto x = integer(view, "window"); x && *x > 0 && *x <= 0xFFFFFFFF) {
      w.x11Window = static_cast<uint32_t>(*x);
    }
  } else {
    w.app = text(view, "app_id").value_or("");
  }
  const auto name = text(view, "name");
  w.hasTitle = name.has_value();
  w.title = name.value_or("");
  const LayoutRect rect = rectOf(view, "rect");
  const LayoutRect inner = rectOf(view, "window_rect");
  w.content = {rect.x + inner.x, rect.y + inner.y, inner.width, inner.height};
  // The title bar sits just above the container's rectangle.
  const int64_t titleBar = rectOf(view, "deco_rect").height;
  w.frame = {rect.x, rect.y - titleBar, rect.width, rect.height + titleBar};
  w.output = output.name;
  w.outputRect = output.rect;
  w.scale = output.scale;
  return w;
}

}  // namespace

Outcome<std::vector<SwayWindow>> parseSwayTree(std::string_view json) {
  using Result = Outcome<std::vector<SwayWindow>>;
  const Json root = Json::parse(json, nullptr, /*allow_exceptions=*/false);
  if (root.is_discarded()) return Result::failure("sway: get_tree gave no JSON");
  if (text(root, "type") != "root") return Result::failure("sway: get_tree gave no tree");

  std::vector<std::pair<const Json*, Output>> global;
  std::vector<std::pair<const Json*, Output>> ordered;
  for (const Json* out : inFocusOrder(children(root, "nodes"), root)) {
    Output output{text(*out, "name").value_or(""), rectOf(*out, "rect"), 1};
    if (output.name.starts_with("__")) continue;  // the scratchpad's pseudo output
    // Outputs scale by at most a few times; anything else is not a scale.
    if (const Json* s = member(*out, "scale");
        s != nullptr && s->is_number() && s->get<double>() > 0 && s->get<double>() <= 16) {
      output.scale = s->get<double>();
    }
    for (const Json* ws : inFocusOrder(children(*out, "nodes"), *out)) {
      Layers layers;
      for (const Json* child : inFocusOrder(children(*ws, "nodes"), *ws)) {
        collect(*child, &layers.tiled, layers);
      }
      // Floating containers are drawn in list order, the last on top (focus raises one).
      auto floating = children(*ws, "floating_nodes");
      for (auto it = floating.rbegin(); it != floating.rend(); ++it) {
        collect(**it, &layers.floating, layers);
      }
      for (const Json* v : layers.global) global.emplace_back(v, output);
      for (auto* layer : {&layers.fullscreen, &layers.floating, &layers.tiled}) {
        for (const Json* v : *layer) ordered.emplace_back(v, output);
      }
    }
  }
  ordered.insert(ordered.begin(), global.begin(), global.end());
  std::vector<SwayWindow> windows;
  for (const auto& [view, output] : ordered) {
    if (auto w = windowOf(*view, output)) windows.push_back(std::move(*w));
  }
  return Result::success(std::move(windows));
}

}  // namespace lorvane
