#include "windows/sway/wayland_session.h"

#include <poll.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace lorvane {

WaylandSession::WaylandSession(Clock::time_point deadline) : deadline_(deadline) {
  const char* name = std::getenv("WAYLAND_DISPLAY");
  // A local socket: connecting does not wait for the compositor.
  display_ = wl_display_connect(nullptr);
  if (display_ == nullptr) {
    failure_ = std::string("Wayland: cannot connect to ") +
               (name != nullptr && *name != '\0' ? name : "wayland-0") + " (" +
               std::strerror(errno) + ")";
  }
}

WaylandSession::~WaylandSession() {
  if (display_ != nullptr) wl_display_disconnect(display_);
}

bool WaylandSession::fail(const std::string& why) {
  if (failure_.empty()) failure_ = "Wayland: " + why;
  return false;
}

bool WaylandSession::dispatchUntil(const std::function<bool()>& done) {
  if (!*this) return false;
  for (;;) {
    if (wl_display_dispatch_pending(display_) < 0) {
      return fail(std::string("the connection failed (") +
                  std::strerror(wl_display_get_error(display_)) + ")");
    }
    if (done()) return true;
    while (wl_display_prepare_read(display_) != 0) {
      if (wl_display_dispatch_pending(display_) < 0) return fail("the connection failed");
    }
    if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
      wl_display_cancel_read(display_);
      return fail(std::string("cannot send (") + std::strerror(errno) + ")");
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now());
    pollfd p{wl_display_get_fd(display_), POLLIN, 0};
    const int n = left.count() > 0 ? poll(&p, 1, static_cast<int>(left.count()) + 1) : 0;
    if (n <= 0) {
      wl_display_cancel_read(display_);
      if (n < 0 && errno == EINTR) continue;
      return fail("the compositor did not answer in time");
    }
    if (wl_display_read_events(display_) < 0) {
      return fail(std::string("cannot read (") + std::strerror(errno) + ")");
    }
  }
}

bool WaylandSession::roundtrip() {
  if (!*this) return false;
  bool synced = false;
  static constexpr wl_callback_listener kListener{
      [](void* data, wl_callback*, uint32_t) { *static_cast<bool*>(data) = true; }};
  WaylandPtr<wl_callback, wl_callback_destroy> callback(wl_display_sync(display_));
  wl_callback_add_listener(callback.get(), &kListener, &synced);
  return dispatchUntil([&] { return synced; });
}

}  // namespace lorvane
