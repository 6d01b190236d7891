#include "x11/xcb_handles.h"

#include <sys/socket.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <thread>

namespace lorvane {

// Shared by the connection and its watcher thread, which outlives the connection object
// when the handshake itself hangs.
struct XcbConnection::Watch {
  std::mutex mutex;
  std::condition_variable changed;
  xcb_connection_t* conn = nullptr;  // set once the handshake ended, perhaps in error
  bool closing = false;              // the owner is done: stop watching, or drop a late connection
  bool timedOut = false;
  std::thread thread;

  void run(std::chrono::steady_clock::time_point deadline) {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    std::unique_lock lock(mutex);
    if (closing) {  // given up on while the handshake hung
      lock.unlock();
      xcb_disconnect(c);
      return;
    }
    conn = c;  // never null: a failed connection is one in error
    changed.notify_all();
    if (xcb_connection_has_error(c) != 0) return;
    if (!changed.wait_until(lock, deadline, [this] { return closing; })) {
      timedOut = true;
      shutdown(xcb_get_file_descriptor(c), SHUT_RDWR);  // ends every wait on the server
    }
  }
};

XcbConnection::XcbConnection() {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') {
    failure_ = "X11: no X11 display (DISPLAY is not set)";
    return;
  }
  display_ = display;
  const auto deadline = std::chrono::steady_clock::now() + kX11AnswerLimit;
  watch_ = std::make_shared<Watch>();
  try {
    watch_->thread = std::thread([w = watch_, deadline] { w->run(deadline); });
  } catch (const std::system_error&) {
    watch_.reset();  // no thread to be had: connect unwatched rather than not at all
    conn_ = xcb_connect(nullptr, nullptr);
  }
  if (watch_) {
    std::unique_lock lock(watch_->mutex);
    if (!watch_->changed.wait_until(lock, deadline, [this] { return watch_->conn != nullptr; })) {
      watch_->timedOut = true;
      watch_->closing = true;
      watch_->thread.detach();
      return;
    }
    conn_ = watch_->conn;
  }
  if (const int err = xcb_connection_has_error(conn_); err != 0) {
    failure_ = "X11: cannot connect to X11 display " + display_ + " (xcb error " +
               std::to_string(err) + ")";
  }
}

XcbConnection::~XcbConnection() {
  if (watch_ && watch_->thread.joinable()) {
    {
      std::lock_guard lock(watch_->mutex);
      watch_->closing = true;
    }
    watch_->changed.notify_all();
    watch_->thread.join();
  }
  if (conn_ != nullptr) xcb_disconnect(conn_);
}

bool XcbConnection::timedOut() const {
  if (!watch_) return false;
  std::lock_guard lock(watch_->mutex);
  return watch_->timedOut;
}

bool XcbConnection::broken() const {
  return conn_ == nullptr || xcb_connection_has_error(conn_) != 0 || timedOut();
}

std::string XcbConnection::why() const {
  if (!failure_.empty()) return failure_;
  if (timedOut()) {
    char limit[32];
    std::snprintf(limit, sizeof limit, "%.1f s",
                  static_cast<double>(kX11AnswerLimit.count()) / 1000);
    return "X11 server did not answer within " + std::string(limit) + " (display " + display_ + ")";
  }
  if (conn_ != nullptr && xcb_connection_has_error(conn_) != 0) {
    return "X11: the connection to display " + display_ + " broke (xcb error " +
           std::to_string(xcb_connection_has_error(conn_)) + ")";
  }
  return {};
}

const xcb_screen_t* displayScreen(xcb_connection_t* c) {
  // Read from DISPLAY as xcb_connect(nullptr, ...) reads it.
  char* host = nullptr;
  int display = 0, number = 0;
  if (xcb_parse_display(nullptr, &host, &display, &number) != 0) std::free(host);
  auto screens = xcb_setup_roots_iterator(xcb_get_setup(c));
  const xcb_screen_t* first = screens.rem > 0 ? screens.data : nullptr;
  for (; screens.rem > 0; xcb_screen_next(&screens), --number) {
    if (number == 0) return screens.data;
  }
  return first;
}

}  // namespace lorvane
