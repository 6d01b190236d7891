#include "main/platform/linux_input_access.h"

#include <fcntl.h>
#include <glob.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <xcb/record.h>
#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <cstdlib>
#include <string_view>

#include "x11/xcb_handles.h"

namespace lorvane {
namespace {

// A Wayland compositor shows X11 clients only the input of other X11 clients, whatever
// extensions its X server (Xwayland) offers.
bool waylandSession() {
  const char* display = std::getenv("WAYLAND_DISPLAY");
  const char* type = std::getenv("XDG_SESSION_TYPE");
  return (display != nullptr && *display != '\0') ||
         (type != nullptr && std::string_view(type) == "wayland");
}

bool x11OffersGlobalInput() {
  const XcbConnection conn;  // none without DISPLAY
  if (!conn) return false;
  xcb_connection_t* c = conn.get();
  xcb_prefetch_extension_data(c, &xcb_input_id);
  xcb_prefetch_extension_data(c, &xcb_record_id);
  constexpr std::string_view kXwayland = "XWAYLAND";
  const auto xwaylandCookie = xcb_query_extension(c, kXwayland.size(), kXwayland.data());
  const auto xwayland = waitReply(xcb_query_extension_reply, c, xwaylandCookie);
  if (xwayland == nullptr || xwayland->present) return false;
  const xcb_query_extension_reply_t* record = xcb_get_extension_data(c, &xcb_record_id);
  const xcb_query_extension_reply_t* input = xcb_get_extension_data(c, &xcb_input_id);
  if (record != nullptr && record->present) return true;
  if (input == nullptr || !input->present) return false;
  // XInput 1 alone cannot select raw events on the root window: version 2 is needed.
  const auto reply =
      waitReply(xcb_input_xi_query_version_reply, c, xcb_input_xi_query_version(c, 2, 0));
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
  return (!waylandSession() && x11OffersGlobalInput()) || keyboardDeviceReadable();
}

}  // namespace lorvane
