#include "main/platform/linux_input_access.h"

#include <fcntl.h>
#include <glob.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <xcb/randr.h>
#include <xcb/record.h>
#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <cstdlib>
#include <string_view>

#include "main/platform/x11_input_facts.h"
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

bool present(const xcb_query_extension_reply_t* extension) {
  return extension != nullptr && extension->present;
}

// The names of the screen's RandR outputs; nothing when a request went unanswered.
std::optional<std::vector<std::string>> outputNames(xcb_connection_t* c) {
  std::vector<std::string> names;
  const xcb_screen_t* screen = displayScreen(c);
  if (!present(xcb_get_extension_data(c, &xcb_randr_id)) || screen == nullptr) return names;
  // Version 1.3 for GetScreenResourcesCurrent, which does not make the server probe outputs.
  const auto version =
      waitReply(xcb_randr_query_version_reply, c, xcb_randr_query_version(c, 1, 3));
  if (!version) return std::nullopt;
  const auto resources = waitReply(xcb_randr_get_screen_resources_current_reply, c,
                                   xcb_randr_get_screen_resources_current(c, screen->root));
  if (!resources) return std::nullopt;
  const xcb_randr_output_t* outputs =
      xcb_randr_get_screen_resources_current_outputs(resources.get());
  const int count = xcb_randr_get_screen_resources_current_outputs_length(resources.get());
  std::vector<xcb_randr_get_output_info_cookie_t> cookies;
  for (int i = 0; i < count; ++i) {
    cookies.push_back(xcb_randr_get_output_info(c, outputs[i], resources->config_timestamp));
  }
  bool answered = true;
  for (const auto cookie : cookies) {
    const auto info = waitReply(xcb_randr_get_output_info_reply, c, cookie);
    if (!info) {
      answered = false;  // read on: every reply must be taken
      continue;
    }
    names.emplace_back(reinterpret_cast<const char*>(xcb_randr_get_output_info_name(info.get())),
                       xcb_randr_get_output_info_name_length(info.get()));
  }
  if (!answered) return std::nullopt;
  return names;
}

std::optional<X11InputFacts> readX11InputFacts() {
  const XcbConnection conn;  // none without DISPLAY
  if (!conn) return std::nullopt;
  xcb_connection_t* c = conn.get();
  xcb_prefetch_extension_data(c, &xcb_input_id);
  xcb_prefetch_extension_data(c, &xcb_record_id);
  xcb_prefetch_extension_data(c, &xcb_randr_id);
  constexpr std::string_view kXwayland = "XWAYLAND";
  const auto xwaylandCookie = xcb_query_extension(c, kXwayland.size(), kXwayland.data());
  X11InputFacts facts;
  if (const auto xwayland = waitReply(xcb_query_extension_reply, c, xwaylandCookie)) {
    facts.xwaylandExtension = xwayland->present != 0;
  }
  facts.outputNames = outputNames(c);
  facts.record = present(xcb_get_extension_data(c, &xcb_record_id));
  if (present(xcb_get_extension_data(c, &xcb_input_id))) {
    const auto reply =
        waitReply(xcb_input_xi_query_version_reply, c, xcb_input_xi_query_version(c, 2, 0));
    if (reply) facts.xinputMajor = reply->major_version;
  }
  if (conn.broken()) return std::nullopt;
  return facts;
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
  if (!waylandSession()) {
    const auto facts = readX11InputFacts();
    if (facts && x11GrantsGlobalInput(*facts)) return true;
  }
  return keyboardDeviceReadable();
}

}  // namespace lorvane
