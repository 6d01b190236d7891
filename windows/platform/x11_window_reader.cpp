#include "windows/platform/x11_window_reader.h"

#include <xcb/res.h>
#include <xcb/xcbext.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>
#include <set>
#include <variant>

namespace lorvane {
namespace {

// Titles are read whole up to 1 MiB (and cut at a character boundary beyond it); only the
// bytes a property holds travel, however much is asked for.
constexpr uint32_t kMaxTextLongs = 1 << 18;
constexpr uint32_t kMaxListLongs = 65536;
constexpr uint32_t kIconicState = 3;

// The requests sent for every client window, in the order of their slots in ClientCookies.
enum ClientRequest : size_t {
  kAttrs,
  kGeometry,
  kOrigin,
  kNetWmName,
  kWmName,
  kWmClass,
  kNetWmPid,
  kType,
  kState,
  kWmState,
  kDesktop,
  kClientRequests
};

// The property requests among them, and how much of each is read.
struct PropertyRequest {
  ClientRequest slot;
  xcb_atom_t (*atom)(const X11Atoms&);
  uint32_t longs;
};
constexpr PropertyRequest kClientProperties[] = {
    {kNetWmName, [](const X11Atoms& a) { return a.netWmName; }, kMaxTextLongs},
    {kWmName, [](const X11Atoms&) { return xcb_atom_t{XCB_ATOM_WM_NAME}; }, kMaxTextLongs},
    {kWmClass, [](const X11Atoms&) { return xcb_atom_t{XCB_ATOM_WM_CLASS}; }, kMaxTextLongs},
    {kNetWmPid, [](const X11Atoms& a) { return a.netWmPid; }, 64},
    {kType, [](const X11Atoms& a) { return a.netWmWindowType; }, 64},
    {kState, [](const X11Atoms& a) { return a.netWmState; }, 64},
    {kWmState, [](const X11Atoms& a) { return a.wmState; }, 64},
    {kDesktop, [](const X11Atoms& a) { return a.netWmDesktop; }, 64},
};

// The sequence numbers of one client window's requests, sent before any reply is read. The
// slots are what both reading and dropping the replies go by, so none can be forgotten.
struct ClientCookies {
  xcb_window_t window;
  std::array<unsigned, kClientRequests> seq{};

  ClientCookies(xcb_connection_t* c, const X11Atoms& a, xcb_window_t w, xcb_window_t root)
      : window(w) {
    seq[kAttrs] = xcb_get_window_attributes(c, w).sequence;
    seq[kGeometry] = xcb_get_geometry(c, w).sequence;
    seq[kOrigin] = xcb_translate_coordinates(c, w, root, 0, 0).sequence;
    for (const PropertyRequest& p : kClientProperties) {
      seq[p.slot] = requestProperty(c, w, p.atom(a), p.longs).sequence;
    }
  }

  void discard(xcb_connection_t* c) const {
    for (unsigned s : seq) xcb_discard_reply(c, s);
  }
};

X11WindowType typeOf(const X11Property& p, const X11Atoms& a) {
  for (uint32_t atom : card32List(p)) {
    const auto it = std::find(a.windowTypes.begin(), a.windowTypes.end(), atom);
    if (atom != XCB_ATOM_NONE && it != a.windowTypes.end()) {
      return static_cast<X11WindowType>(1 + (it - a.windowTypes.begin()));
    }
  }
  return X11WindowType::Unset;
}

// The text of an 8-bit property, with the encoding its type names.
std::optional<TextProperty> textOf(X11Property&& p, const X11Atoms& a) {
  if (!p.present || p.format != 8) return std::nullopt;
  const TextEncoding encoding = p.type == a.utf8String     ? TextEncoding::Utf8
                                : p.type == a.compoundText ? TextEncoding::CompoundText
                                                           : TextEncoding::Latin1;
  return TextProperty{std::move(p.bytes), encoding, p.cut};
}

template <typename Reply>
XcbReply<Reply> takeReply(xcb_connection_t* c, unsigned sequence) {
  xcb_generic_error_t* error = nullptr;
  XcbReply<Reply> reply(static_cast<Reply*>(xcb_wait_for_reply(c, sequence, &error)));
  std::free(error);
  return reply;
}

// Collects the replies of one client; false when the window vanished meanwhile.
bool takeClient(xcb_connection_t* c, const X11Atoms& a, const ClientCookies& k, X11ClientFacts& f) {
  f.window = k.window;
  const auto attrs = takeReply<xcb_get_window_attributes_reply_t>(c, k.seq[kAttrs]);
  const auto geo = takeReply<xcb_get_geometry_reply_t>(c, k.seq[kGeometry]);
  const auto origin = takeReply<xcb_translate_coordinates_reply_t>(c, k.seq[kOrigin]);
  bool gone = !attrs || !geo || !origin;
  std::array<X11Property, kClientRequests> props;
  for (const PropertyRequest& p : kClientProperties) {
    props[p.slot] = takeProperty(c, xcb_get_property_cookie_t{k.seq[p.slot]}, &gone);
  }
  if (gone) return false;

  f.viewable = isViewable(*attrs);
  f.overrideRedirect = attrs->override_redirect != 0;
  f.rootX = origin->dst_x;
  f.rootY = origin->dst_y;
  f.width = geo->width;
  f.height = geo->height;
  if (props[kNetWmName].type == a.utf8String) {
    f.netWmName = textOf(std::move(props[kNetWmName]), a);
  }
  f.wmName = textOf(std::move(props[kWmName]), a);
  f.wmClass = textOf(std::move(props[kWmClass]), a);
  if (uint32_t pid = 0; firstCard32(props[kNetWmPid], pid)) f.netWmPid = pid;
  f.type = typeOf(props[kType], a);
  const auto states = card32List(props[kState]);
  f.hidden = std::find(states.begin(), states.end(), a.netWmStateHidden) != states.end();
  if (uint32_t s = 0; firstCard32(props[kWmState], s)) f.iconic = s == kIconicState;
  if (uint32_t d = 0; firstCard32(props[kDesktop], d)) f.desktop = d;
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

std::vector<xcb_window_t> windowList(const X11Property& p) {
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
        {requestProperty(c, w, a.wmState), xcb_get_window_attributes(c, w), xcb_query_tree(c, w)});
  }
  struct Pending {
    xcb_window_t top;
    bool fallback;  // shown and not override-redirect
    std::vector<std::pair<xcb_window_t, xcb_get_property_cookie_t>> children;
  };
  std::vector<std::variant<xcb_window_t, Pending>> picks;
  for (size_t i = 0; i < tops.size(); ++i) {
    const X11Property wmState = takeProperty(c, cookies[i].wmState);
    XcbReply<xcb_get_window_attributes_reply_t> attrs(
        xcb_get_window_attributes_reply(c, cookies[i].attrs, nullptr));
    XcbReply<xcb_query_tree_reply_t> sub(xcb_query_tree_reply(c, cookies[i].tree, nullptr));
    if (!attrs || !sub) continue;  // vanished
    if (wmState.present) {
      picks.emplace_back(tops[i]);
      continue;
    }
    Pending p{tops[i], isViewable(*attrs) && attrs->override_redirect == 0, {}};
    const xcb_window_t* sk = xcb_query_tree_children(sub.get());
    for (int j = xcb_query_tree_children_length(sub.get()) - 1; j >= 0; --j) {
      p.children.emplace_back(sk[j], requestProperty(c, sk[j], a.wmState));
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
  const xcb_screen_t* screen = displayScreen(c);
  if (screen == nullptr) return snap;
  const xcb_window_t root = screen->root;
  snap.screen.width = screen->width_in_pixels;
  snap.screen.height = screen->height_in_pixels;

  const auto checkCookie = requestProperty(c, root, a.netSupportingWmCheck);
  const auto stackingCookie = requestProperty(c, root, a.netClientListStacking, kMaxListLongs);
  const auto desktopCookie = requestProperty(c, root, a.netCurrentDesktop);
  const auto treeCookie = xcb_query_tree(c, root);
  uint32_t checkWindow = 0;
  const bool hasCheck = firstCard32(takeProperty(c, checkCookie), checkWindow);
  const X11Property stackingProp = takeProperty(c, stackingCookie);
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
    selfCookie = requestProperty(c, checkWindow, a.netSupportingWmCheck);
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
