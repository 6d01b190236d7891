#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <optional>

#include "windows/x11/paint_coverage.h"

namespace lorvane {

/// Watches one window while its frame gets redirected for a capture: what the server exposes
/// (Expose events) and what is painted afterwards (Damage). Made before the redirection;
/// destroys its damage object when it goes.
class RepaintWatch {
 public:
  RepaintWatch(xcb_connection_t* c, xcb_window_t window, uint16_t width, uint16_t height);
  ~RepaintWatch();
  RepaintWatch(const RepaintWatch&) = delete;
  RepaintWatch& operator=(const RepaintWatch&) = delete;

  /// Returns once every exposed pixel has been painted again, or at once when nothing was
  /// exposed; a client that does not repaint is given a bounded time only.
  void waitForRepaint();

 private:
  void take(const xcb_generic_event_t* event);

  xcb_connection_t* c_;
  xcb_window_t window_;
  uint32_t damage_ = 0;  // 0 without the Damage extension
  uint8_t damageEvent_ = 0;
  std::optional<PaintCoverage> coverage_;
  bool exposed_ = false;
};

}  // namespace lorvane
