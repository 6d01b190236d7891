#include "windows/x11/x11_connection.h"

#include <cstdio>
#include <cstring>
#include <iterator>
#include <utility>

#include "windows/x11/x11_client_facts.h"

namespace lorvane {
namespace {

const char* const kCoreErrors[] = {
    "Success",   "BadRequest", "BadValue",    "BadWindow",   "BadPixmap", "BadAtom",
    "BadCursor", "BadFont",    "BadMatch",    "BadDrawable", "BadAccess", "BadAlloc",
    "BadColor",  "BadGC",      "BadIDChoice", "BadName",     "BadLength", "BadImplementation",
};

// The core requests whose errors get described (those of a capture), by major opcode.
constexpr std::pair<uint8_t, const char*> kCoreRequests[] = {{3, "GetWindowAttributes"},
                                                             {14, "GetGeometry"},
                                                             {15, "QueryTree"},
                                                             {40, "TranslateCoordinates"},
                                                             {73, "GetImage"}};

}  // namespace

std::string hexId(xcb_window_t window) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%x", window);
  return buf;
}

std::string describeXError(const xcb_generic_error_t* error) {
  if (error == nullptr) return "no reply from the X server";
  std::string text =
      error->error_code < std::size(kCoreErrors) ? kCoreErrors[error->error_code] : "X error";
  text += " (error " + std::to_string(error->error_code) + ") in ";
  for (const auto& [major, name] : kCoreRequests) {
    if (major == error->major_code) return text + name;
  }
  return text + "request " + std::to_string(error->major_code) + "." +
         std::to_string(error->minor_code);
}

X11Atoms internAtoms(xcb_connection_t* c) {
  static constexpr std::pair<const char*, xcb_atom_t X11Atoms::*> kNamed[] = {
      {"UTF8_STRING", &X11Atoms::utf8String},
      {"COMPOUND_TEXT", &X11Atoms::compoundText},
      {"_NET_WM_NAME", &X11Atoms::netWmName},
      {"_NET_WM_PID", &X11Atoms::netWmPid},
      {"_NET_WM_WINDOW_TYPE", &X11Atoms::netWmWindowType},
      {"_NET_WM_STATE", &X11Atoms::netWmState},
      {"_NET_WM_STATE_HIDDEN", &X11Atoms::netWmStateHidden},
      {"_NET_WM_DESKTOP", &X11Atoms::netWmDesktop},
      {"_NET_CURRENT_DESKTOP", &X11Atoms::netCurrentDesktop},
      {"_NET_CLIENT_LIST_STACKING", &X11Atoms::netClientListStacking},
      {"_NET_SUPPORTING_WM_CHECK", &X11Atoms::netSupportingWmCheck},
      {"WM_STATE", &X11Atoms::wmState},
      {"_NET_WM_CM_S0", &X11Atoms::netWmCmS0}};
  const auto intern = [c](const char* n) { return xcb_intern_atom(c, 0, std::strlen(n), n); };
  std::vector<xcb_intern_atom_cookie_t> cookies;
  for (const auto& named : kNamed) cookies.push_back(intern(named.first));
  for (const auto& type : kX11WindowTypes) cookies.push_back(intern(type.first));
  std::vector<xcb_atom_t> atoms;
  for (auto cookie : cookies) {
    const auto r = waitReply(xcb_intern_atom_reply, c, cookie);
    atoms.push_back(r ? r->atom : xcb_atom_t{XCB_ATOM_NONE});
  }
  X11Atoms a{};
  for (size_t i = 0; i < std::size(kNamed); ++i) a.*kNamed[i].second = atoms[i];
  a.windowTypes.assign(atoms.begin() + std::size(kNamed), atoms.end());
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

std::vector<uint32_t> card32List(const X11Property& p) {
  std::vector<uint32_t> items;
  if (!p.present || p.format != 32 || p.bytes.size() < 4) return items;  // memcpy needs data
  items.resize(p.bytes.size() / 4);
  std::memcpy(items.data(), p.bytes.data(), items.size() * 4);
  return items;
}

std::optional<uint32_t> firstCard32(const X11Property& p) {
  const std::vector<uint32_t> items = card32List(p);
  return items.empty() ? std::nullopt : std::optional(items.front());
}

}  // namespace lorvane
