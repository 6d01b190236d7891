#include "windows/x11/x11_window_reader.h"

#include <xcb/res.h>

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <set>

namespace lorvane {
namespace {

// Titles are read whole up to 1 MiB (and cut at a character boundary beyond it); only the
// bytes a property holds travel, however much is asked for.
constexpr uint32_t kMaxTextLongs = 1 << 18;
constexpr uint32_t kMaxListLongs = 65536;
constexpr uint32_t kIconicState = 3;

// The requests sent for every client window, in the order of their slots in ClientCookies:
// the property requests come last.
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

// The sequence numbers of one client window's requests, sent before any reply is read. The
// slots are what both reading and dropping the replies go by, so none can be forgotten.
struct ClientCookies {
  xcb_window_t window;
  std::array<unsigned, kClientRequests> seq{};

  ClientCookies(xcb_connection_t* c, const X11Atoms& a, xcb_window_t w, xcb_window_t root)
      : window(w) {
    const auto property = [&](ClientRequest slot, xcb_atom_t atom, uint32_t longs = 64) {
      seq[slot] = requestProperty(c, w, atom, longs).sequence;
    };
    seq[kAttrs] = xcb_get_window_attributes(c, w).sequence;
    seq[kGeometry] = xcb_get_geometry(c, w).sequence;
    seq[kOrigin] = xcb_translate_coordinates(c, w, root, 0, 0).sequence;
    property(kNetWmName, a.netWmName, kMaxTextLongs);
    property(kWmName, XCB_ATOM_WM_NAME, kMaxTextLongs);
    property(kWmClass, XCB_ATOM_WM_CLASS, kMaxTextLongs);
    property(kNetWmPid, a.netWmPid);
    property(kType, a.netWmWindowType);
    property(kState, a.netWmState);
    property(kWmState, a.wmState);
    property(kDesktop, a.netWmDesktop);
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

// Collects the replies of one client; false when the window vanished meanwhile.
bool takeClient(xcb_connection_t* c, const X11Atoms& a, const ClientCookies& k, X11ClientFacts& f) {
  f.window = k.window;
  const auto attrs = waitReply(xcb_get_window_attributes_reply, c,
                               xcb_get_window_attributes_cookie_t{k.seq[kAttrs]});
  const auto geo =
      waitReply(xcb_get_geometry_reply, c, xcb_get_geometry_cookie_t{k.seq[kGeometry]});
  const auto origin = waitReply(xcb_translate_coordinates_reply, c,
                                xcb_translate_coordinates_cookie_t{k.seq[kOrigin]});
  bool gone = !attrs || !geo || !origin;
  std::array<X11Property, kClientRequests> props;
  for (size_t slot = kNetWmName; slot < kClientRequests; ++slot) {
    props[slot] = takeProperty(c, xcb_get_property_cookie_t{k.seq[slot]}, &gone);
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
  f.netWmPid = firstCard32(props[kNetWmPid]);
  f.type = typeOf(props[kType], a);
  const auto states = card32List(props[kState]);
  f.hidden = std::find(states.begin(), states.end(), a.netWmStateHidden) != states.end();
  f.iconic = firstCard32(props[kWmState]) == kIconicState;
  f.desktop = firstCard32(props[kDesktop]);
  return true;
}

// One X-Resource request for the pids of every client that owns a listed window, keyed by
// the client's resource base.
std::map<uint32_t, uint32_t> takePids(xcb_connection_t* c,
                                      xcb_res_query_client_ids_cookie_t cookie) {
  std::map<uint32_t, uint32_t> pids;
  const auto r = waitReply(xcb_res_query_client_ids_reply, c, cookie);
  if (!r) return pids;
  for (auto it = xcb_res_query_client_ids_ids_iterator(r.get()); it.rem > 0;
       xcb_res_client_id_value_next(&it)) {
    // Each value starts with the client and mask it answers for (its first member).
    const auto* id = reinterpret_cast<const xcb_res_client_id_spec_t*>(it.data);
    if ((id->mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) == 0) continue;
    if (xcb_res_client_id_value_value_length(it.data) < 1) continue;
    pids[id->client] = *xcb_res_client_id_value_value(it.data);
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
        const auto pid = pids.find(f.window & baseMask_);
        if (pid != pids.end()) f.resPid = pid->second;
      }
    }
    return clients;
  }

  void discard() {
    for (const ClientCookies& k : cookies_) {
      for (unsigned s : k.seq) xcb_discard_reply(c_, s);
    }
    if (pidCookie_) xcb_discard_reply(c_, pidCookie_->sequence);
  }

 private:
  xcb_connection_t* c_;
  const X11Atoms& a_;
  uint32_t baseMask_;
  std::vector<ClientCookies> cookies_;
  std::optional<xcb_res_query_client_ids_cookie_t> pidCookie_;
};

// A window's children, bottom-most first as the server lists them.
std::vector<xcb_window_t> childrenOf(const xcb_query_tree_reply_t& tree) {
  const xcb_window_t* kids = xcb_query_tree_children(&tree);
  return {kids, kids + xcb_query_tree_children_length(&tree)};
}

// Without a window manager: the root's children from the top down, each taken as the client
// when it carries WM_STATE, else its first child that does, else itself when viewable and not
// override-redirect.
std::vector<xcb_window_t> clientsWithoutWm(xcb_connection_t* c, const X11Atoms& a,
                                           xcb_query_tree_cookie_t treeCookie) {
  const auto tree = waitReply(xcb_query_tree_reply, c, treeCookie);
  if (!tree) return {};
  struct Top {
    xcb_window_t window;
    xcb_get_property_cookie_t wmState;
    xcb_get_window_attributes_cookie_t attrs;
    xcb_query_tree_cookie_t tree;
    bool fallback = false;  // the window itself when no child carries WM_STATE
    std::vector<std::pair<xcb_window_t, xcb_get_property_cookie_t>> children = {};  // bottom-up
  };
  std::vector<Top> tops;
  const std::vector<xcb_window_t> bottomUp = childrenOf(*tree);
  for (auto w = bottomUp.rbegin(); w != bottomUp.rend(); ++w) {
    tops.push_back({*w, requestProperty(c, *w, a.wmState), xcb_get_window_attributes(c, *w),
                    xcb_query_tree(c, *w)});
  }
  for (Top& top : tops) {
    const bool hasWmState = takeProperty(c, top.wmState).present;
    const auto attrs = waitReply(xcb_get_window_attributes_reply, c, top.attrs);
    const auto sub = waitReply(xcb_query_tree_reply, c, top.tree);
    if (!attrs || !sub) continue;  // vanished: no fallback, no children
    top.fallback = hasWmState || (isViewable(*attrs) && attrs->override_redirect == 0);
    if (hasWmState) continue;
    for (xcb_window_t child : childrenOf(*sub)) {
      top.children.emplace_back(child, requestProperty(c, child, a.wmState));
    }
  }
  std::vector<xcb_window_t> clients;
  for (const Top& top : tops) {
    std::optional<xcb_window_t> client;
    if (top.fallback) client = top.window;
    // The last child that carries WM_STATE is the top-most one.
    for (const auto& [child, cookie] : top.children) {
      if (takeProperty(c, cookie).present) client = child;
    }
    if (client) clients.push_back(*client);
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
  const std::optional<uint32_t> checkWindow = firstCard32(takeProperty(c, checkCookie));
  const X11Property stackingProp = takeProperty(c, stackingCookie);
  std::vector<xcb_window_t> stacking = card32List(stackingProp);
  std::reverse(stacking.begin(), stacking.end());
  snap.screen.currentDesktop = firstCard32(takeProperty(c, desktopCookie));

  // The stacking list is read on the bet that the window manager is live; the bet is
  // checked in the same round trip.
  std::optional<ClientBatch> managed;
  if (checkWindow) {
    const auto selfCookie = requestProperty(c, *checkWindow, a.netSupportingWmCheck);
    if (stackingProp.present) managed.emplace(c, a, stacking, root);
    // A window manager that has gone leaves the root's property behind: it is live exactly
    // when the window named there still names itself.
    snap.screen.wmLive = firstCard32(takeProperty(c, selfCookie)) == checkWindow;
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
