#include "windows/sway/foreign_toplevels.h"

#include <algorithm>
#include <memory>

#include "windows/sway/wayland_session.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

namespace lorvane {
namespace {

using HandlePtr =
    WaylandPtr<zwlr_foreign_toplevel_handle_v1, zwlr_foreign_toplevel_handle_v1_destroy>;

struct Toplevel {
  HandlePtr handle;
  ForeignToplevel info;
  bool closed = false;
};

struct Listing {
  WaylandPtr<zwlr_foreign_toplevel_manager_v1, zwlr_foreign_toplevel_manager_v1_destroy> manager;
  std::vector<std::unique_ptr<Toplevel>> toplevels;
};

template <typename... Args>
void ignore(Args...) {}

Toplevel& of(void* data) {
  return *static_cast<Toplevel*>(data);
}

const zwlr_foreign_toplevel_handle_v1_listener kHandleListener{
    .title = [](void* data, zwlr_foreign_toplevel_handle_v1*,
                const char* title) { of(data).info.title = title; },
    .app_id = [](void* data, zwlr_foreign_toplevel_handle_v1*,
                 const char* appId) { of(data).info.appId = appId; },
    .output_enter = ignore<void*, zwlr_foreign_toplevel_handle_v1*, wl_output*>,
    .output_leave = ignore<void*, zwlr_foreign_toplevel_handle_v1*, wl_output*>,
    .state =
        [](void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states) {
          ForeignToplevel& t = of(data).info;
          t.activated = t.minimized = false;
          const auto* s = static_cast<const uint32_t*>(states->data);
          for (size_t i = 0; i < states->size / sizeof(uint32_t); ++i) {
            t.activated |= s[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED;
            t.minimized |= s[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_MINIMIZED;
          }
        },
    .done = ignore<void*, zwlr_foreign_toplevel_handle_v1*>,
    .closed = [](void* data, zwlr_foreign_toplevel_handle_v1*) { of(data).closed = true; },
    .parent = ignore<void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*>,
};

const zwlr_foreign_toplevel_manager_v1_listener kManagerListener{
    .toplevel =
        [](void* data, zwlr_foreign_toplevel_manager_v1*, zwlr_foreign_toplevel_handle_v1* handle) {
          auto t = std::make_unique<Toplevel>();
          t->handle.reset(handle);
          zwlr_foreign_toplevel_handle_v1_add_listener(handle, &kHandleListener, t.get());
          static_cast<Listing*>(data)->toplevels.push_back(std::move(t));
        },
    .finished = ignore<void*, zwlr_foreign_toplevel_manager_v1*>,
};

void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
              uint32_t version) {
  auto& listing = *static_cast<Listing*>(data);
  if (std::string_view(interface) != zwlr_foreign_toplevel_manager_v1_interface.name) return;
  listing.manager.reset(static_cast<zwlr_foreign_toplevel_manager_v1*>(wl_registry_bind(
      registry, name, &zwlr_foreign_toplevel_manager_v1_interface, std::min(version, 3u))));
  zwlr_foreign_toplevel_manager_v1_add_listener(listing.manager.get(), &kManagerListener, &listing);
}

const wl_registry_listener kRegistryListener{onGlobal, ignore<void*, wl_registry*, uint32_t>};

bool isXwaylandOf(const ForeignToplevel& t, const WindowInfo& w) {
  return t.title == w.title && (t.appId.empty() || t.appId == w.ownerName);
}

}  // namespace

std::optional<Outcome<std::vector<ForeignToplevel>>> readForeignToplevels(
    std::chrono::steady_clock::time_point deadline) {
  using Result = Outcome<std::vector<ForeignToplevel>>;
  WaylandSession session(deadline);
  if (!session) return std::nullopt;
  Listing listing;
  WaylandPtr<wl_registry, wl_registry_destroy> registry(wl_display_get_registry(session.display()));
  wl_registry_add_listener(registry.get(), &kRegistryListener, &listing);
  if (!session.roundtrip()) return Result::failure(session.failure());
  if (!listing.manager) return std::nullopt;
  // The manager announces every toplevel, with its title, app id and state, as it is bound.
  if (!session.roundtrip()) return Result::failure(session.failure());
  zwlr_foreign_toplevel_manager_v1_stop(listing.manager.get());
  std::vector<ForeignToplevel> toplevels;
  for (const auto& t : listing.toplevels) {
    if (!t->closed) toplevels.push_back(t->info);
  }
  return Result::success(std::move(toplevels));
}

std::vector<WindowInfo> mergeToplevels(const std::vector<ForeignToplevel>& toplevels,
                                       const std::vector<WindowInfo>& x11) {
  std::vector<const ForeignToplevel*> order;
  for (const ForeignToplevel& t : toplevels) {
    if (!t.minimized) order.push_back(&t);
  }
  std::ranges::stable_partition(order, [](const ForeignToplevel* t) { return t->activated; });
  std::vector<bool> used(x11.size(), false);
  std::vector<WindowInfo> list;
  for (const ForeignToplevel* t : order) {
    size_t i = 0;
    while (i < x11.size() && (used[i] || !isXwaylandOf(*t, x11[i]))) ++i;
    if (i < x11.size()) {
      used[i] = true;
      list.push_back(x11[i]);
      continue;
    }
    WindowInfo native;
    native.layer = 0;
    native.ownerName = t->appId;
    native.title = t->title;
    list.push_back(std::move(native));
  }
  for (size_t i = 0; i < x11.size(); ++i) {
    if (!used[i]) list.push_back(x11[i]);
  }
  return list;
}

}  // namespace lorvane
