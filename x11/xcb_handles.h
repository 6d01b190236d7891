#pragma once

#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

namespace lorvane {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
/// Replies, errors and events of libxcb are malloc'd.
template <typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter>;

/// Waits for the reply to `cookie` through libxcb's `replyFn` (xcb_get_geometry_reply, ...);
/// null on an error, which goes to `*error` when asked for.
template <typename Reply, typename Cookie>
XcbReply<Reply> waitReply(Reply* (*replyFn)(xcb_connection_t*, Cookie, xcb_generic_error_t**),
                          xcb_connection_t* c, Cookie cookie,
                          xcb_generic_error_t** error = nullptr) {
  return XcbReply<Reply>(replyFn(c, cookie, error));
}

/// How long an X server may take over everything one connection asks of it. Far more than
/// a live server needs (a few ms per round trip, tens for thousands of windows), and short
/// enough that a parent waiting for a reply gets one within a few seconds.
inline constexpr std::chrono::milliseconds kX11AnswerLimit{2500};

/// A connection to the display named by DISPLAY whose every blocking call ends: a server
/// that does not answer within the limit (a stopped or hung server) gets its socket shut
/// down, so the waiting libxcb call returns as on a broken connection. A watcher thread per
/// connection keeps the time; it also runs the connection handshake, which libxcb would
/// otherwise wait on for ever.
class XcbConnection {
 public:
  /// Connects; on failure get() is null and why() says why.
  XcbConnection();
  ~XcbConnection();
  XcbConnection(const XcbConnection&) = delete;
  XcbConnection& operator=(const XcbConnection&) = delete;

  xcb_connection_t* get() const { return conn_; }
  explicit operator bool() const { return conn_ != nullptr && failure_.empty(); }
  /// True once the connection has failed: could not be made, broke or timed out.
  bool broken() const;
  /// True when the server did not answer in time.
  bool timedOut() const;
  /// Why there is no usable connection, naming X11 and the display.
  std::string why() const;

 private:
  struct Watch;
  std::string display_;
  std::shared_ptr<Watch> watch_;
  xcb_connection_t* conn_ = nullptr;
  std::string failure_;  // why connecting failed
};

/// The screen DISPLAY names (":0.1" is screen 1), the one xcb_connect() reports for it; the
/// first when the server has no such screen. Null only for a server without screens.
const xcb_screen_t* displayScreen(xcb_connection_t* c);

/// True for a window that is mapped with all its ancestors and shows something (input-only
/// windows show nothing).
inline bool isViewable(const xcb_get_window_attributes_reply_t& attrs) {
  return attrs.map_state == XCB_MAP_STATE_VIEWABLE && attrs._class != XCB_WINDOW_CLASS_INPUT_ONLY;
}

}  // namespace lorvane
