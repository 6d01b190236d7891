#include "windows/x11/x11_repaint_watch.h"

#include <poll.h>
#include <xcb/damage.h>

#include <chrono>
#include <thread>

#include "windows/x11/x11_connection.h"

namespace lorvane {
namespace {

// Clients repaint exposed areas within a frame or two; a frozen one must not hold us long.
constexpr auto kRepaintLimit = std::chrono::milliseconds(250);
// Without Damage we cannot see the repaint: give the client this long.
constexpr auto kBlindWait = std::chrono::milliseconds(60);
// Larger windows are not tracked pixel by pixel (one byte each).
constexpr size_t kMaxTrackedPixels = size_t{4096} * 4096;

}  // namespace

RepaintWatch::RepaintWatch(xcb_connection_t* c, xcb_window_t window, uint16_t width,
                           uint16_t height)
    : c_(c), window_(window) {
  const uint32_t mask = XCB_EVENT_MASK_EXPOSURE;  // our own selection; the client keeps its
  xcb_change_window_attributes(c, window, XCB_CW_EVENT_MASK, &mask);
  const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_damage_id);
  if (ext == nullptr || !ext->present || size_t{width} * size_t{height} > kMaxTrackedPixels) {
    return;
  }
  if (!waitReply(xcb_damage_query_version_reply, c, xcb_damage_query_version(c, 1, 1))) return;
  damage_ = xcb_generate_id(c);
  damageEvent_ = ext->first_event + XCB_DAMAGE_NOTIFY;
  xcb_damage_create(c, damage_, window, XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
  coverage_.emplace(width, height);
}

RepaintWatch::~RepaintWatch() {
  if (damage_ != 0) xcb_damage_destroy(c_, damage_);
}

void RepaintWatch::take(const xcb_generic_event_t* event) {
  const uint8_t type = event->response_type & 0x7F;
  if (type == XCB_EXPOSE) {
    const auto* e = reinterpret_cast<const xcb_expose_event_t*>(event);
    if (e->window != window_) return;
    exposed_ = true;
    if (coverage_) coverage_->expose(e->x, e->y, e->width, e->height);
  } else if (damage_ != 0 && type == damageEvent_) {
    const auto* e = reinterpret_cast<const xcb_damage_notify_event_t*>(event);
    if (e->damage == damage_ && coverage_) {
      coverage_->paint(e->area.x, e->area.y, e->area.width, e->area.height);
    }
  }
}

void RepaintWatch::waitForRepaint() {
  // A round trip: every Expose the redirection caused is in our queue after it.
  waitReply(xcb_get_input_focus_reply, c_, xcb_get_input_focus(c_));
  while (XcbReply<xcb_generic_event_t> ev{xcb_poll_for_event(c_)}) take(ev.get());
  if (!exposed_) return;
  if (!coverage_) {
    std::this_thread::sleep_for(kBlindWait);
    return;
  }
  const auto deadline = std::chrono::steady_clock::now() + kRepaintLimit;
  while (!coverage_->complete()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    pollfd fd{xcb_get_file_descriptor(c_), POLLIN, 0};
    if (poll(&fd, 1, static_cast<int>(left.count()) + 1) <= 0) continue;
    while (XcbReply<xcb_generic_event_t> ev{xcb_poll_for_event(c_)}) take(ev.get());
    if (xcb_connection_has_error(c_) != 0) return;
  }
}

}  // namespace lorvane
