#include "windows/x11/x11_capture.h"

#include "windows/x11/x11_repaint_watch.h"

#include <xcb/composite.h>

#include <bit>
#include <cstring>
#include <optional>

namespace lorvane {
namespace {

using Capture = Outcome<WindowCapture>;

Capture fail(xcb_window_t w, const std::string& what) {
  return Capture::failure("X11 capture of window " + hexId(w) + " failed: " + what);
}

// A window closed or hidden while we work on it (or its frame) makes these errors; asking
// again tells them from a fault of ours.
Capture failX(xcb_connection_t* c, xcb_window_t w, const std::string& step,
              xcb_generic_error_t* error) {
  XcbReply<xcb_generic_error_t> owned(error);
  constexpr uint8_t kBadWindow = 3, kBadMatch = 8, kBadDrawable = 9;
  if (error != nullptr && (error->error_code == kBadWindow || error->error_code == kBadMatch ||
                           error->error_code == kBadDrawable)) {
    const auto attrs =
        waitReply(xcb_get_window_attributes_reply, c, xcb_get_window_attributes(c, w));
    if (!attrs || !isViewable(*attrs)) return Capture::success(std::nullopt);
  }
  return fail(w, step + ": " + describeXError(error));
}

// Channel masks of the window's visual; the common 8-bit masks when it is not found.
struct Masks {
  uint32_t red = 0xFF0000, green = 0xFF00, blue = 0xFF;
};

Masks masksOf(const xcb_setup_t* setup, xcb_visualid_t visual) {
  for (auto s = xcb_setup_roots_iterator(setup); s.rem > 0; xcb_screen_next(&s)) {
    for (auto d = xcb_screen_allowed_depths_iterator(s.data); d.rem > 0; xcb_depth_next(&d)) {
      for (auto v = xcb_depth_visuals_iterator(d.data); v.rem > 0; xcb_visualtype_next(&v)) {
        if (v.data->visual_id == visual) {
          return {v.data->red_mask, v.data->green_mask, v.data->blue_mask};
        }
      }
    }
  }
  return {};
}

uint32_t channel(uint32_t pixel, uint32_t mask) {
  if (mask == 0) return 0;
  const uint32_t v = (pixel & mask) >> std::countr_zero(mask);
  const int bits = std::popcount(mask);
  return bits >= 8 ? v >> (bits - 8) : (v * 255) / ((1u << bits) - 1);
}

uint8_t bitsPerPixel(const xcb_setup_t* setup, uint8_t depth) {
  for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem > 0; xcb_format_next(&f)) {
    if (f.data->depth == depth) return f.data->bits_per_pixel;
  }
  return 0;
}

// Turns a 32-bit ZPixmap into 0x00RRGGBB pixels.
Capture toImage(xcb_connection_t* c, xcb_window_t w, const xcb_get_image_reply_t* r, int64_t width,
                int64_t height, xcb_visualid_t visual) {
  const xcb_setup_t* setup = xcb_get_setup(c);
  if (bitsPerPixel(setup, r->depth) != 32) {
    return fail(w, "windows of depth " + std::to_string(r->depth) + " are not supported");
  }
  const size_t expected = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
  if (static_cast<size_t>(xcb_get_image_data_length(r)) < expected) {
    return fail(w, "GetImage returned too little data");
  }
  const uint8_t* data = xcb_get_image_data(r);
  const bool swap = (setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST) !=
                    (std::endian::native == std::endian::big);
  const Masks m = masksOf(setup, visual);
  const bool plain = m.red == 0xFF0000 && m.green == 0xFF00 && m.blue == 0xFF;
  Image image{width, height, std::vector<uint32_t>(expected / 4)};
  for (size_t i = 0; i < image.pixels.size(); ++i) {
    uint32_t p;
    std::memcpy(&p, data + 4 * i, 4);
    if (swap) p = __builtin_bswap32(p);
    image.pixels[i] =
        plain ? (p & 0xFFFFFF)
              : (channel(p, m.red) << 16 | channel(p, m.green) << 8 | channel(p, m.blue));
  }
  return Capture::success(std::move(image));
}

}  // namespace

Outcome<WindowCapture> captureX11Window(xcb_connection_t* c, const X11Atoms& a,
                                        xcb_window_t window) {
  const xcb_query_extension_reply_t* composite = xcb_get_extension_data(c, &xcb_composite_id);
  if (composite == nullptr || !composite->present) {
    return fail(window, "the X server lacks the Composite extension");
  }
  const auto versionCookie = xcb_composite_query_version(c, 0, 4);
  const auto attrsCookie = xcb_get_window_attributes(c, window);
  const auto geoCookie = xcb_get_geometry(c, window);
  const auto ownerCookie = xcb_get_selection_owner(c, a.netWmCmS0);
  xcb_generic_error_t* error = nullptr;
  const auto version = waitReply(xcb_composite_query_version_reply, c, versionCookie);
  const auto attrs = waitReply(xcb_get_window_attributes_reply, c, attrsCookie, &error);
  if (!attrs) return failX(c, window, "GetWindowAttributes", error);
  const auto geo = waitReply(xcb_get_geometry_reply, c, geoCookie, &error);
  if (!geo) return failX(c, window, "GetGeometry", error);
  const auto owner = waitReply(xcb_get_selection_owner_reply, c, ownerCookie);
  if (!isViewable(*attrs)) return Capture::success(std::nullopt);

  // The top-level ancestor (the window manager's frame, or the window itself) is what
  // Composite redirects.
  xcb_window_t top = window;
  for (;;) {
    const auto t = waitReply(xcb_query_tree_reply, c, xcb_query_tree(c, top), &error);
    if (!t) return failX(c, window, "QueryTree", error);
    if (t->parent == t->root || t->parent == XCB_WINDOW_NONE) break;
    top = t->parent;
  }
  const auto offsetCookie = xcb_translate_coordinates(c, window, top, 0, 0);
  const auto topGeoCookie = xcb_get_geometry(c, top);
  const auto offset = waitReply(xcb_translate_coordinates_reply, c, offsetCookie, &error);
  if (!offset) return failX(c, window, "TranslateCoordinates", error);
  const auto topGeo = waitReply(xcb_get_geometry_reply, c, topGeoCookie, &error);
  if (!topGeo) return failX(c, window, "GetGeometry", error);

  const bool compositorRuns = owner && owner->owner != XCB_WINDOW_NONE;
  bool redirected = false;
  std::optional<RepaintWatch> watch;
  if (!compositorRuns) {
    watch.emplace(c, window, geo->width, geo->height);
    XcbReply<xcb_generic_error_t> e(xcb_request_check(
        c, xcb_composite_redirect_window_checked(c, top, XCB_COMPOSITE_REDIRECT_AUTOMATIC)));
    redirected = e == nullptr;  // another client's redirection serves as well
    watch->waitForRepaint();
  }
  const xcb_pixmap_t pixmap = xcb_generate_id(c);
  if (XcbReply<xcb_generic_error_t> e{
          xcb_request_check(c, xcb_composite_name_window_pixmap_checked(c, top, pixmap))}) {
    if (redirected) xcb_composite_unredirect_window(c, top, XCB_COMPOSITE_REDIRECT_AUTOMATIC);
    return failX(c, window, "NameWindowPixmap", e.release());
  }
  // The pixmap covers the frame with its border; the client sits inside it.
  const int16_t x = static_cast<int16_t>(offset->dst_x + topGeo->border_width);
  const int16_t y = static_cast<int16_t>(offset->dst_y + topGeo->border_width);
  const auto img = waitReply(
      xcb_get_image_reply, c,
      xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, x, y, geo->width, geo->height, ~0u),
      &error);
  xcb_free_pixmap(c, pixmap);
  if (redirected) xcb_composite_unredirect_window(c, top, XCB_COMPOSITE_REDIRECT_AUTOMATIC);
  xcb_flush(c);
  if (!img) return failX(c, window, "GetImage", error);
  return toImage(c, window, img.get(), geo->width, geo->height, attrs->visual);
}

}  // namespace lorvane
