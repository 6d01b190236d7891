#include "main/platform/linux_input_access.h"

#include <fcntl.h>
#include <glob.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include <xcb/record.h>
#include <xcb/xcb.h>
#include <xcb/xinput.h>

namespace lorvane {
namespace {

struct XcbDisconnect {
  void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};

bool x11OffersGlobalInput() {
  if (std::getenv("DISPLAY") == nullptr) return false;
  std::unique_ptr<xcb_connection_t, XcbDisconnect> conn(xcb_connect(nullptr, nullptr));
  if (xcb_connection_has_error(conn.get())) return false;
  xcb_prefetch_extension_data(conn.get(), &xcb_input_id);
  xcb_prefetch_extension_data(conn.get(), &xcb_record_id);
  const xcb_query_extension_reply_t* record = xcb_get_extension_data(conn.get(), &xcb_record_id);
  const xcb_query_extension_reply_t* input = xcb_get_extension_data(conn.get(), &xcb_input_id);
  if (record != nullptr && record->present) return true;
  if (input == nullptr || !input->present) return false;
  // XInput 1 alone cannot select raw events on the root window: version 2 is needed.
  auto cookie = xcb_input_xi_query_version(conn.get(), 2, 0);
  std::unique_ptr<xcb_input_xi_query_version_reply_t, decltype(&std::free)> reply(
      xcb_input_xi_query_version_reply(conn.get(), cookie, nullptr), &std::free);
  return reply != nullptr && reply->major_version >= 2;
}

bool hasBit(const unsigned long* bits, int bit) {
  constexpr int kBitsPerLong = 8 * sizeof(unsigned long);
  return (bits[bit / kBitsPerLong] >> (bit % kBitsPerLong)) & 1UL;
}

bool isKeyboard(int fd) {
  unsigned long keys[(KEY_MAX + 1) / (8 * sizeof(unsigned long)) + 1] = {};
  if (ioctl(fd, EVIOCGBIT(EV_KEY, sizeof keys), keys) < 0) return false;
  return hasBit(keys, KEY_A) && hasBit(keys, KEY_Z) && hasBit(keys, KEY_ENTER);
}

bool keyboardDeviceReadable() {
  glob_t found{};
  if (glob("/dev/input/event*", 0, nullptr, &found) != 0) return false;
  bool readable = false;
  for (size_t i = 0; i < found.gl_pathc && !readable; ++i) {
    const int fd = open(found.gl_pathv[i], O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    readable = isKeyboard(fd);
    close(fd);
  }
  globfree(&found);
  return readable;
}

}  // namespace

bool LinuxInputAccess::preflight() {
  return x11OffersGlobalInput() || keyboardDeviceReadable();
}

}  // namespace lorvane
