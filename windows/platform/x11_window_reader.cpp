#include "windows/platform/x11_window_reader.h"

#include <xcb/res.h>

#include <algorithm>
#include <optional>
#include <set>
#include <variant>

namespace lorvane {
namespace {

constexpr uint32_t kMaxTextLongs = 16384;  // 64 KiB of title or class is plenty
constexpr uint32_t kMaxListLongs = 65536;
constexpr uint32_t kIconicState = 3;

xcb_get_property_cookie_t getProp(xcb_connection_t* c, xcb_window_t w, xcb_atom_t prop,
                                  uint32_t longs = 64) {
  return xcb_get_property(c, 0, w, prop, XCB_GET_PROPERTY_TYPE_ANY, 0, longs);
}

// The requests for one client window, sent before any reply is read.
struct ClientCookies {
  xcb_window_t window;
  xcb_get_window_attributes_cookie_t attrs;
  xcb_get_geometry_cookie_t geometry;
  xcb_translate_coordinates_cookie_t origin;
  xcb_get_property_cookie_t netWmName, wmName, wmClass, netWmPid, type, state, wmState, desktop;

  ClientCookies(xcb_connection_t* c, const X11Atoms& a, xcb_window_t w, xcb_window_t root)
      : window(w),
        attrs(xcb_get_window_attributes(c, w)),
        geometry(xcb_get_geometry(c, w)),
        origin(xcb_translate_coordinates(c, w, root, 0, 0)),
        netWmName(getProp(c, w, a.netWmName, kMaxTextLongs)),
        wmName(getProp(c, w, XCB_ATOM_WM_NAME, kMaxTextLongs)),
        wmClass(getProp(c, w, XCB_ATOM_WM_CLASS, kMaxTextLongs)),
        netWmPid(getProp(c, w, a.netWmPid)),
        type(getProp(c, w, a.netWmWindowType)),
        state(getProp(c, w, a.netWmState)),
        wmState(getProp(c, w, a.wmState)),
        desktop(getProp(c, w, a.netWmDesktop)) {}

  void discard(xcb_connection_t* c) const {
    for (unsigned seq : {attrs.sequence, geometry.sequence, origin.sequence, netWmName.sequence,
                         wmName.sequence, wmClass.sequence, netWmPid.sequence, type.sequence,
                         state.sequence, wmState.sequence, desktop.sequence}) {
      xcb_discard_reply(c, seq);
    }
  }
};

X11WindowType typeOf(const PropertyValue& p, const X11Atoms& a) {
  for (uint32_t atom : card32List(p)) {
    const auto it = std::find(a.windowTypes.begin(), a.windowTypes.end(), atom);
    if (atom != XCB_ATOM_NONE && it != a.windowTypes.end()) {
      return static_cast<X11WindowType>(1 + (it - a.windowTypes.begin()));
    }
  }
  return X11WindowType::Unset;
}

// Collects the replies of one client; false when the window vanished meanwhile.
bool takeClient(xcb_connection_t* c, const X11Atoms& a, const ClientCookies& k, X11ClientFacts& f) {
  f.window = k.window;
  xcb_generic_error_t* e1 = nullptr;
  xcb_generic_error_t* e2 = nullptr;
  xcb_generic_error_t* e3 = nullptr;
  XcbReply<xcb_get_window_attributes_reply_t> attrs(
      xcb_get_window_attributes_reply(c, k.attrs, &e1));
  XcbReply<xcb_get_geometry_reply_t> geo(xcb_get_geometry_reply(c, k.geometry, &e2));
  XcbReply<xcb_translate_coordinates_reply_t> origin(
      xcb_translate_coordinates_reply(c, k.origin, &e3));
  XcbReply<xcb_generic_error_t> err1(e1), err2(e2), err3(e3);
  bool gone = !attrs || !geo || !origin;
  const PropertyValue netWmName = takeProperty(c, k.netWmName, &gone);
  const PropertyValue wmName = takeProperty(c, k.wmName, &gone);
  const PropertyValue wmClass = takeProperty(c, k.wmClass, &gone);
  const PropertyValue netWmPid = takeProperty(c, k.netWmPid, &gone);
  const PropertyValue type = takeProperty(c, k.type, &gone);
  const PropertyValue state = takeProperty(c, k.state, &gone);
  const PropertyValue wmState = takeProperty(c, k.wmState, &gone);
  const PropertyValue desktop = takeProperty(c, k.desktop, &gone);
  if (gone) return false;

  // An input-only window shows nothing: never on screen.
  f.viewable =
      attrs->map_state == XCB_MAP_STATE_VIEWABLE && attrs->_class != XCB_WINDOW_CLASS_INPUT_ONLY;
  f.overrideRedirect = attrs->override_redirect != 0;
  f.rootX = origin->dst_x;
  f.rootY = origin->dst_y;
  f.width = geo->width;
  f.height = geo->height;
  if (netWmName.present && netWmName.type == a.utf8String && netWmName.format == 8) {
    f.netWmName = netWmName.bytes;
  }
  if (wmName.present && wmName.format == 8) {
    f.wmName = wmName.bytes;
    f.wmNameIsUtf8 = wmName.type == a.utf8String;
  }
  if (wmClass.present && wmClass.format == 8) f.wmClass = wmClass.bytes;
  if (uint32_t pid = 0; firstCard32(netWmPid, pid)) f.netWmPid = pid;
  f.type = typeOf(type, a);
  const auto states = card32List(state);
  f.hidden = std::find(states.begin(), states.end(), a.netWmStateHidden) != states.end();
  if (uint32_t s = 0; firstCard32(wmState, s)) f.iconic = s == kIconicState;
  if (uint32_t d = 0; firstCard32(desktop, d)) f.desktop = d;
  return true;
}

// One X-Resource request for the pids of every client that owns a listed window, keyed by
// the client's resource base.
std::vector<std::pair<uint32_t, uint32_t>> takePids(xcb_connection_t* c,
                                                    xcb_res_query_client_ids_cookie_t cookie) {
  std::vector<std::pair<uint32_t, uint32_t>> pids;
  XcbReply<xcb_res_query_client_ids_reply_t> r(xcb_res_query_client_ids_reply(c, cookie, nullptr));
  if (!r) return pids;
  for (auto it = xcb_res_query_client_ids_ids_iterator(r.get()); it.rem > 0;
       xcb_res_client_id_value_next(&it)) {
    // Each value starts with the client and mask it answers for (its first member).
    const auto* id = reinterpret_cast<const xcb_res_client_id_spec_t*>(it.data);
    if ((id->mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) == 0) continue;
    if (xcb_res_client_id_value_value_length(it.data) < 1) continue;
    pids.emplace_back(id->client, *xcb_res_client_id_value_value(it.data));
  }
  return pids;
}

// The requests for a list of client windows, all sent at once; the replies are read (or
// dropped) later.
class ClientBatch {
 public:
  ClientBatch(xcb_connection_t* c, const X11Atoms& a, const std::vector<xcb_window_t>& windows,
              xcb_window_t root)
      : c_(c), a_(a), baseMask_(~xcb_get_setup(c)->resource_id_mask) {
    cookies_.reserve(windows.size());
    for (xcb_window_t w : windows) cookies_.emplace_back(c, a, w, root);
    const xcb_query_extension_reply_t* res = xcb_get_extension_data(c, &xcb_res_id);
    if (res != nullptr && res->present && !windows.empty()) {
      std::set<uint32_t> bases;
      for (xcb_window_t w : windows) bases.insert(w & baseMask_);
      std::vector<xcb_res_client_id_spec_t> owners;
      for (uint32_t b : bases) owners.push_back({b, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID});
      pidCookie_ = xcb_res_query_client_ids(c, owners.size(), owners.data());
    }
  }

  std::vector<X11ClientFacts> take() {
    std::vector<X11ClientFacts> clients;
    for (const ClientCookies& k : cookies_) {
      X11ClientFacts f;
      if (takeClient(c_, a_, k, f)) clients.push_back(std::move(f));
    }
    if (pidCookie_) {
      const auto pids = takePids(c_, *pidCookie_);
      for (X11ClientFacts& f : clients) {
        for (const auto& [base, pid] : pids) {
          if ((f.window & baseMask_) == base) f.resPid = pid;
        }
      }
    }
    return clients;
  }

  void discard() {
    for (const ClientCookies& k : cookies_) k.discard(c_);
    if (pidCookie_) xcb_discard_reply(c_, pidCookie_->sequence);
  }

 private:
  xcb_connection_t* c_;
  const X11Atoms& a_;
  uint32_t baseMask_;
  std::vector<ClientCookies> cookies_;
  std::optional<xcb_res_query_client_ids_cookie_t> pidCookie_;
};

std::vector<xcb_window_t> windowList(const PropertyValue& p) {
  std::vector<xcb_window_t> list;
  for (uint32_t w : card32List(p)) list.push_back(w);
  return list;
}

// Without a window manager: the root's children from the top down, each taken as the client
// when it carries WM_STATE, else its first child that does, else itself when viewable and not
// override-redirect.
std::vector<xcb_window_t> clientsWithoutWm(xcb_connection_t* c, const X11Atoms& a,
                                           xcb_query_tree_cookie_t treeCookie) {
  XcbReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, treeCookie, nullptr));
  if (!tree) return {};
  const xcb_window_t* kids = xcb_query_tree_children(tree.get());
  std::vector<xcb_window_t> tops(kids, kids + xcb_query_tree_children_length(tree.get()));
  std::reverse(tops.begin(), tops.end());

  struct TopCookies {
    xcb_get_property_cookie_t wmState;
    xcb_get_window_attributes_cookie_t attrs;
    xcb_query_tree_cookie_t tree;
  };
  std::vector<TopCookies> cookies;
  for (xcb_window_t w : tops) {
    cookies.push_back(
        {getProp(c, w, a.wmState), xcb_get_window_attributes(c, w), xcb_query_tree(c, w)});
  }
  struct Pending {
    xcb_window_t top;
    bool fallback;  // shown and not override-redirect
    std::vector<std::pair<xcb_window_t, xcb_get_property_cookie_t>> children;
  };
  std::vector<std::variant<xcb_window_t, Pending>> picks;
  for (size_t i = 0; i < tops.size(); ++i) {
    const PropertyValue wmState = takeProperty(c, cookies[i].wmState);
    XcbReply<xcb_get_window_attributes_reply_t> attrs(
        xcb_get_window_attributes_reply(c, cookies[i].attrs, nullptr));
    XcbReply<xcb_query_tree_reply_t> sub(xcb_query_tree_reply(c, cookies[i].tree, nullptr));
    if (!attrs || !sub) continue;  // vanished
    if (wmState.present) {
      picks.emplace_back(tops[i]);
      continue;
    }
    const bool shown =
        attrs->map_state == XCB_MAP_STATE_VIEWABLE && attrs->_class != XCB_WINDOW_CLASS_INPUT_ONLY;
    Pending p{tops[i], shown && attrs->override_redirect == 0, {}};
    const xcb_window_t* sk = xcb_query_tree_children(sub.get());
    for (int j = xcb_query_tree_children_length(sub.get()) - 1; j >= 0; --j) {
      p.children.emplace_back(sk[j], getProp(c, sk[j], a.wmState));
    }
    picks.emplace_back(std::move(p));
  }
  std::vector<xcb_window_t> clients;
  for (auto& pick : picks) {
    if (const auto* w = std::get_if<xcb_window_t>(&pick)) {
      clients.push_back(*w);
      continue;
    }
    const Pending& p = std::get<Pending>(pick);
    std::optional<xcb_window_t> found;
    for (const auto& [child, cookie] : p.children) {
      const bool has = takeProperty(c, cookie).present;
      if (has && !found) found = child;
    }
    if (found) {
      clients.push_back(*found);
    } else if (p.fallback) {
      clients.push_back(p.top);
    }
  }
  return clients;
}

}  // namespace

X11Snapshot readX11Snapshot(xcb_connection_t* c, const X11Atoms& a) {
  X11Snapshot snap;
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  if (screen == nullptr) return snap;
  const xcb_window_t root = screen->root;
  snap.screen.width = screen->width_in_pixels;
  snap.screen.height = screen->height_in_pixels;

  const auto checkCookie = getProp(c, root, a.netSupportingWmCheck);
  const auto stackingCookie = getProp(c, root, a.netClientListStacking, kMaxListLongs);
  const auto desktopCookie = getProp(c, root, a.netCurrentDesktop);
  const auto treeCookie = xcb_query_tree(c, root);
  uint32_t checkWindow = 0;
  const bool hasCheck = firstCard32(takeProperty(c, checkCookie), checkWindow);
  const PropertyValue stackingProp = takeProperty(c, stackingCookie);
  std::vector<xcb_window_t> stacking = windowList(stackingProp);
  std::reverse(stacking.begin(), stacking.end());
  if (uint32_t d = 0; firstCard32(takeProperty(c, desktopCookie), d)) {
    snap.screen.currentDesktop = d;
  }

  // The stacking list is read on the bet that the window manager is live; the bet is
  // checked in the same round trip.
  std::optional<ClientBatch> managed;
  std::optional<xcb_get_property_cookie_t> selfCookie;
  if (hasCheck) {
    selfCookie = getProp(c, checkWindow, a.netSupportingWmCheck);
    if (stackingProp.present) managed.emplace(c, a, stacking, root);
  }
  if (selfCookie) {
    // A window manager that has gone leaves the root's property behind: it is live exactly
    // when the window named there still names itself.
    uint32_t self = 0;
    snap.screen.wmLive = firstCard32(takeProperty(c, *selfCookie), self) && self == checkWindow;
  }
  // A window manager without a stacking list is read as if there were none, but its
  // desktop and state properties still count.
  if (snap.screen.wmLive && managed) {
    xcb_discard_reply(c, treeCookie.sequence);
    snap.clients = managed->take();
  } else {
    if (managed) managed->discard();
    if (!snap.screen.wmLive) snap.screen.currentDesktop.reset();
    snap.clients = ClientBatch(c, a, clientsWithoutWm(c, a, treeCookie), root).take();
  }
  return snap;
}

}  // namespace lorvane
