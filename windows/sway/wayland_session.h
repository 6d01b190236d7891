#pragma once

#include <wayland-client.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace lorvane {

/// Owns one Wayland proxy and destroys it with its interface's destructor request.
template <typename T, void (*Destroy)(T*)>
struct WaylandDeleter {
  void operator()(T* p) const {
    if (p != nullptr) Destroy(p);
  }
};
template <typename T, void (*Destroy)(T*)>
using WaylandPtr = std::unique_ptr<T, WaylandDeleter<T, Destroy>>;

/// A connection to the compositor named by WAYLAND_DISPLAY whose every wait ends by a
/// deadline. Objects made on it must be destroyed before it (declare them after it).
class WaylandSession {
 public:
  using Clock = std::chrono::steady_clock;

  explicit WaylandSession(Clock::time_point deadline);
  ~WaylandSession();
  WaylandSession(const WaylandSession&) = delete;
  WaylandSession& operator=(const WaylandSession&) = delete;

  wl_display* display() const { return display_; }
  /// Why there is no connection, or why the last wait failed; names Wayland.
  const std::string& failure() const { return failure_; }
  explicit operator bool() const { return display_ != nullptr && failure_.empty(); }

  /// Handles events until `done` holds. False when the deadline passes first or the
  /// connection fails (failure() says which).
  bool dispatchUntil(const std::function<bool()>& done);
  /// Waits until the compositor has handled every request sent so far, and every event those
  /// caused has been handled.
  bool roundtrip();

 private:
  bool fail(const std::string& why);

  Clock::time_point deadline_;
  wl_display* display_ = nullptr;
  std::string failure_;
};

}  // namespace lorvane
