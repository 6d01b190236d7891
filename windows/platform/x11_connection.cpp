#include "windows/platform/x11_connection.h"

#include <cstdio>
#include <cstring>
#include <iterator>

#include "windows/platform/x11_client_facts.h"

namespace lorvane {
namespace {

const char* const kCoreErrors[] = {
    "Success",   "BadRequest", "BadValue",    "BadWindow",   "BadPixmap", "BadAtom",
    "BadCursor", "BadFont",    "BadMatch",    "BadDrawable", "BadAccess", "BadAlloc",
    "BadColor",  "BadGC",      "BadIDChoice", "BadName",     "BadLength", "BadImplementation",
};

const char* coreRequestName(uint8_t major) {
  switch (major) {
    case 3:
      return "GetWindowAttributes";
    case 14:
      return "GetGeometry";
    case 15:
      return "QueryTree";
    case 20:
      return "GetProperty";
    case 40:
      return "TranslateCoordinates";
    case 53:
      return "CreatePixmap";
    case 73:
      return "GetImage";
    default:
      return nullptr;
  }
}

}  // namespace

std::string hexId(xcb_window_t window) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%x", window);
  return buf;
}

std::string describeXError(const xcb_generic_error_t* error) {
  if (error == nullptr) return "no reply from the X server";
  std::string text;
  if (error->error_code < std::size(kCoreErrors)) {
    text = kCoreErrors[error->error_code];
  } else {
    text = "X error";
  }
  text += " (error " + std::to_string(error->error_code) + ") in ";
  if (const char* name = coreRequestName(error->major_code)) {
    text += name;
  } else {
    text +=
        "request " + std::to_string(error->major_code) + "." + std::to_string(error->minor_code);
  }
  return text;
}

X11Atoms internAtoms(xcb_connection_t* c) {
  const char* names[] = {"UTF8_STRING",
                         "COMPOUND_TEXT",
                         "_NET_WM_NAME",
                         "_NET_WM_PID",
                         "_NET_WM_WINDOW_TYPE",
                         "_NET_WM_STATE",
                         "_NET_WM_STATE_HIDDEN",
                         "_NET_WM_DESKTOP",
                         "_NET_CURRENT_DESKTOP",
                         "_NET_CLIENT_LIST_STACKING",
                         "_NET_SUPPORTING_WM_CHECK",
                         "WM_STATE",
                         "_NET_WM_CM_S0"};
  constexpr size_t kFixed = std::size(names);
  std::vector<xcb_intern_atom_cookie_t> cookies;
  for (const char* n : names) cookies.push_back(xcb_intern_atom(c, 0, std::strlen(n), n));
  for (const char* n : kX11WindowTypeNames) {
    cookies.push_back(xcb_intern_atom(c, 0, std::strlen(n), n));
  }
  std::vector<xcb_atom_t> atoms;
  for (auto cookie : cookies) {
    XcbReply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(c, cookie, nullptr));
    atoms.push_back(r ? r->atom : xcb_atom_t{XCB_ATOM_NONE});
  }
  X11Atoms a{};
  xcb_atom_t* fixed[] = {&a.utf8String,
                         &a.compoundText,
                         &a.netWmName,
                         &a.netWmPid,
                         &a.netWmWindowType,
                         &a.netWmState,
                         &a.netWmStateHidden,
                         &a.netWmDesktop,
                         &a.netCurrentDesktop,
                         &a.netClientListStacking,
                         &a.netSupportingWmCheck,
                         &a.wmState,
                         &a.netWmCmS0};
  static_assert(std::size(fixed) == kFixed);
  for (size_t i = 0; i < kFixed; ++i) *fixed[i] = atoms[i];
  a.windowTypes.assign(atoms.begin() + kFixed, atoms.end());
  return a;
}

xcb_get_property_cookie_t requestProperty(xcb_connection_t* c, xcb_window_t window,
                                          xcb_atom_t property, uint32_t longs) {
  return xcb_get_property(c, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, longs);
}

X11Property takeProperty(xcb_connection_t* c, xcb_get_property_cookie_t cookie, bool* windowGone) {
  xcb_generic_error_t* error = nullptr;
  XcbReply<xcb_get_property_reply_t> r(xcb_get_property_reply(c, cookie, &error));
  XcbReply<xcb_generic_error_t> err(error);
  X11Property p;
  if (err && windowGone != nullptr) *windowGone = true;
  if (!r || r->type == XCB_ATOM_NONE) return p;
  p.present = true;
  p.type = r->type;
  p.format = r->format;
  const auto* data = static_cast<const char*>(xcb_get_property_value(r.get()));
  p.bytes.assign(data, data + xcb_get_property_value_length(r.get()));
  p.cut = r->bytes_after > 0;
  return p;
}

bool firstCard32(const X11Property& p, uint32_t& out) {
  if (!p.present || p.format != 32 || p.bytes.size() < 4) return false;
  std::memcpy(&out, p.bytes.data(), 4);
  return true;
}

std::vector<uint32_t> card32List(const X11Property& p) {
  std::vector<uint32_t> items;
  if (!p.present || p.format != 32 || p.bytes.size() < 4) return items;  // memcpy needs data
  items.resize(p.bytes.size() / 4);
  std::memcpy(items.data(), p.bytes.data(), items.size() * 4);
  return items;
}

}  // namespace lorvane
