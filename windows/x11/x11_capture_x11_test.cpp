// Runs under tests/with-x11: a private Xvfb, with openbox unless WITH_X11_NO_WM=1.
#include <gtest/gtest.h>
#include <leptonica/allheaders.h>
#include <unistd.h>
#include <xcb/composite.h>
#include <xcb/xcb.h>

#include <cstdlib>

#include "tests/support/fixture_windows.h"
#include "windows/x11/x11_window_system.h"

namespace lorvane {
namespace {

using testing::FixtureWindows;

constexpr int kW = 240, kH = 150;

uint32_t pattern(int x, int y) {
  const uint32_t r = (x * 7 + y) & 0xFF, g = (y * 5 + x / 3) & 0xFF, b = (x * y / 3) & 0xFF;
  return r << 16 | g << 8 | b;
}

// A PNG whose every pixel is pattern(x, y), removed with the object.
struct PatternPng {
  int w, h;
  std::string path;
  explicit PatternPng(int width = kW, int height = kH)
      : w(width),
        h(height),
        path("/tmp/lorvane-pattern-" + std::to_string(getpid()) + "-" + std::to_string(w) +
             ".png") {
    PIX* pix = pixCreate(w, h, 32);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const uint32_t p = pattern(x, y);
        pixSetRGBPixel(pix, x, y, p >> 16, (p >> 8) & 0xFF, p & 0xFF);
      }
    }
    pixWrite(path.c_str(), pix, IFF_PNG);
    pixDestroy(&pix);
  }
  ~PatternPng() { std::remove(path.c_str()); }
};

// Counts the pixels that differ from the pattern scaled to the image's size.
int mismatches(const Image& image, int srcW = kW, int srcH = kH) {
  int bad = 0;
  for (int64_t y = 0; y < image.height; ++y) {
    for (int64_t x = 0; x < image.width; ++x) {
      const auto sx = static_cast<int>(x * srcW / image.width);
      const auto sy = static_cast<int>(y * srcH / image.height);
      bad += image.pixels[static_cast<size_t>(y * image.width + x)] != pattern(sx, sy);
    }
  }
  return bad;
}

CapturableWindow findWindow(WindowSystem& system, uint32_t id) {
  const auto content = system.shareableContent();
  EXPECT_TRUE(content.ok()) << content.error();
  if (!content.ok()) return {};
  for (const CapturableWindow& w : content.value()) {
    if (w.windowID == id) return w;
  }
  ADD_FAILURE() << "window " << id << " is not among the capturable windows";
  return {};
}

class Capture : public ::testing::Test {
 protected:
  PatternPng png;
  std::unique_ptr<WindowSystem> system = makeX11WindowSystem();

  void expectExact(uint32_t id, int width = kW, int height = kH) {
    const CapturableWindow w = findWindow(*system, id);
    EXPECT_EQ(w.contentWidth, width);
    EXPECT_EQ(w.contentHeight, height);
    const auto shot = system->captureWindow(w, width, height);
    ASSERT_TRUE(shot.ok()) << shot.error();
    ASSERT_TRUE(shot.value());
    ASSERT_EQ(shot.value()->width, width);
    ASSERT_EQ(shot.value()->height, height);
    EXPECT_EQ(mismatches(*shot.value(), width, height), 0);
  }
};

TEST_F(Capture, AShownWindowIsCapturedPixelExact) {
  FixtureWindows f("title=picture\tclass=Pic\tbackground=" + png.path + "\tx=100\ty=100\n");
  ASSERT_TRUE(f.ready()) << f.error();
  const CapturableWindow w = findWindow(*system, f.ids()[0]);
  EXPECT_EQ(w.applicationName, "Pic");
  EXPECT_EQ(w.title, "picture");
  EXPECT_EQ(w.pointPixelScale, 1.0f);
  expectExact(f.ids()[0]);
}

TEST_F(Capture, AWindowOfTextSizeIsCapturedPixelExact) {
  const PatternPng big(1280, 800);
  FixtureWindows f("class=Big\tclient_paint=1\tbackground=" + big.path + "\tx=700\ty=400\n");
  ASSERT_TRUE(f.ready()) << f.error();
  expectExact(f.ids()[0], 1280, 800);
}

TEST_F(Capture, ACoveredWindowIsCapturedWhole) {
  FixtureWindows f("class=Pic\tbackground=" + png.path + "\tx=100\ty=100\n" +
                   "class=Cover\tx=150\ty=120\tw=400\th=300\n");
  ASSERT_TRUE(f.ready()) << f.error();
  expectExact(f.ids()[0]);
  expectExact(f.ids()[0]);  // and again, after the first capture let go of it
}

TEST_F(Capture, AWindowThatOnlyItsClientPaintsIsCapturedWholeWhenCovered) {
  // As with toolkits: the server paints no background, the client repaints on Expose.
  FixtureWindows f("class=Pic\tclient_paint=1\tbackground=" + png.path + "\tx=100\ty=100\n" +
                   "class=Cover\tx=150\ty=120\tw=400\th=300\n" +
                   "class=Pic\tclient_paint=1\tbackground=" + png.path + "\tx=1800\ty=10\n");
  ASSERT_TRUE(f.ready()) << f.error();
  expectExact(f.ids()[0]);
  expectExact(f.ids()[2]);
}

TEST_F(Capture, AWindowPartlyOffScreenIsCapturedWhole) {
  FixtureWindows f("class=Pic\tbackground=" + png.path + "\tx=1800\ty=990\n");
  ASSERT_TRUE(f.ready()) << f.error();
  expectExact(f.ids()[0]);
}

// A stand-in for a compositing manager: owns _NET_WM_CM_S0 and redirects every top-level
// window manually (so nothing reaches the screen any more, but each window has its pixmap).
class FakeCompositor {
 public:
  FakeCompositor() : c_(xcb_connect(nullptr, nullptr)) {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
    const char name[] = "_NET_WM_CM_S0";
    auto* atom = xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, sizeof name - 1, name), nullptr);
    const xcb_window_t owner = xcb_generate_id(c_);
    xcb_create_window(c_, 0, owner, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, 0, 0,
                      nullptr);
    xcb_set_selection_owner(c_, owner, atom->atom, XCB_CURRENT_TIME);
    std::free(atom);
    xcb_composite_query_version_reply_t* v =
        xcb_composite_query_version_reply(c_, xcb_composite_query_version(c_, 0, 4), nullptr);
    std::free(v);
    xcb_generic_error_t* e = xcb_request_check(
        c_,
        xcb_composite_redirect_subwindows_checked(c_, screen->root, XCB_COMPOSITE_REDIRECT_MANUAL));
    ok_ = e == nullptr;
    std::free(e);
  }
  ~FakeCompositor() { xcb_disconnect(c_); }
  bool ok() const { return ok_; }

 private:
  xcb_connection_t* c_;
  bool ok_ = false;
};

TEST_F(Capture, UnderACompositorTheWindowsOwnPixmapIsRead) {
  // The compositor runs first, as it would: windows are redirected from the start.
  FakeCompositor compositor;
  ASSERT_TRUE(compositor.ok());
  FixtureWindows f("class=Pic\tclient_paint=1\tbackground=" + png.path + "\tx=100\ty=100\n" +
                   "class=Cover\tx=150\ty=120\tw=400\th=300\n");
  ASSERT_TRUE(f.ready()) << f.error();
  expectExact(f.ids()[0]);
}

TEST_F(Capture, AnotherSizeIsScaledFromTheWindow) {
  FixtureWindows f("class=Pic\tbackground=" + png.path + "\n");
  ASSERT_TRUE(f.ready()) << f.error();
  const auto shot = system->captureWindow(findWindow(*system, f.ids()[0]), kW / 2, kH / 2);
  ASSERT_TRUE(shot.ok() && shot.value()) << shot.error();
  EXPECT_EQ(shot.value()->width, kW / 2);
  EXPECT_EQ(shot.value()->height, kH / 2);
  EXPECT_EQ(mismatches(*shot.value()), 0);
}

TEST_F(Capture, AWindowThatIsNotThereOrNotShownIsGoneAndOtherErrorsSayWhy) {
  FixtureWindows f("class=Pic\n");
  ASSERT_TRUE(f.ready()) << f.error();
  CapturableWindow gone = findWindow(*system, f.ids()[0]);
  gone.windowID = f.ids()[0] + 0x100;  // never created: BadWindow on it
  auto shot = system->captureWindow(gone, 300, 200);
  ASSERT_TRUE(shot.ok()) << shot.error();
  EXPECT_FALSE(shot.value());
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%x", gone.windowID);
  shot = system->captureWindow(gone, 0, 200);
  EXPECT_EQ(shot.error(), std::string("X11 capture of window ") + hex +
                              " failed: no image of 0x200 pixels can be made");
}

TEST_F(Capture, WindowsThatAreNotShownCannotBeCaptured) {
  if (const char* noWm = std::getenv("WITH_X11_NO_WM"); noWm && std::string(noWm) == "1")
    GTEST_SKIP() << "needs the window manager";
  FixtureWindows f("class=Min\ticonic=1\nclass=Gone\thidden=1\n");
  ASSERT_TRUE(f.ready()) << f.error();
  const auto content = system->shareableContent();
  ASSERT_TRUE(content.ok());
  for (const CapturableWindow& w : content.value()) {
    EXPECT_NE(w.windowID, f.ids()[0]);
    EXPECT_NE(w.windowID, f.ids()[1]);
  }
  CapturableWindow iconic;
  iconic.windowID = f.ids()[0];
  const auto shot = system->captureWindow(iconic, 300, 200);
  ASSERT_TRUE(shot.ok()) << shot.error();
  EXPECT_FALSE(shot.value());
}

// DISPLAY is changed for this process only while the test runs.
class WithDisplay {
 public:
  explicit WithDisplay(const char* value) : saved_(std::getenv("DISPLAY")) {
    value ? setenv("DISPLAY", value, 1) : unsetenv("DISPLAY");
  }
  ~WithDisplay() { setenv("DISPLAY", saved_.c_str(), 1); }

 private:
  std::string saved_;
};

TEST(CapturePermission, PreflightTellsWhetherTheDisplayCanBeRead) {
  auto system = makeX11WindowSystem();
  EXPECT_TRUE(system->preflightScreenCapture());
  {
    WithDisplay none(nullptr);
    EXPECT_FALSE(system->preflightScreenCapture());
    const auto content = system->shareableContent();
    EXPECT_EQ(content.error(), "X11: no X11 display (DISPLAY is not set)");
    EXPECT_EQ(system->captureWindow(CapturableWindow{}, 10, 10).error(),
              "X11: no X11 display (DISPLAY is not set)");
  }
  {
    WithDisplay absent(":65000");
    EXPECT_FALSE(system->preflightScreenCapture());
    EXPECT_EQ(system->shareableContent().error(),
              "X11: cannot connect to X11 display :65000 (xcb error 1)");
  }
  system->requestScreenCapture();  // nothing to ask on X11; still works afterwards
  EXPECT_TRUE(system->preflightScreenCapture());
}

}  // namespace
}  // namespace lorvane
