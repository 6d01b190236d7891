// Runs under tests/with-gnome (a private headless GNOME Shell with Xwayland): --windows and
// --ocr against a native GTK window (zenity on Wayland) and an Xwayland one (xterm), with our
// extension enabled (WithExtension) and with it only installed (WithoutExtension).
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "tests/support/child_process.h"
#include "windows/dbus/dbus_bus.h"
#include "windows/gnome/gnome_window_system.h"

namespace lorvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::ChildProcess;
using testing::runProgram;

// Our own text; the zenity window shows it in a 16 pt font.
constexpr const char* kPage[] = {
    "Harbour log, Tuesday morning",
    "The north pier opens at seven and closes at dusk.",
    "Crates of lemons wait beside the grey warehouse.",
    "Captain Ilse Moreau signs for forty-two barrels.",
    "Wind from the west, eighteen knots, light rain later.",
    "The ferry to Saltmarsh Island leaves at half past nine.",
};

std::string sourceDir() {
  const char* dir = std::getenv("LORVANE_SOURCE_DIR");
  return dir != nullptr ? dir : ".";
}

struct TempDir {
  fs::path path;
  TempDir() {
    char name[] = "/tmp/lorvane-gnome-XXXXXX";
    path = mkdtemp(name);
  }
  ~TempDir() { fs::remove_all(path); }
};

// A native Wayland window showing the page (behind) and an xterm in front of it, which covers
// part of it wherever the shell places the larger window on the 1280x800 screen.
class Desktop {
 public:
  /// `nativeListed`: whether the native window shows in the list (only with the extension).
  explicit Desktop(bool nativeListed) {
    std::ofstream page(dir_.path / "page.txt");
    for (const char* line : kPage) page << line << "\n";
    page.close();
    testing::ChildOptions native;
    native.env["GDK_BACKEND"] = "wayland";
    zenity_ = std::make_unique<ChildProcess>(
        "/usr/bin/zenity",
        std::vector<std::string>{"zenity", "--text-info", "--title=Harbour log",
                                 "--filename=" + (dir_.path / "page.txt").string(),
                                 "--font=DejaVu Sans 16", "--width=1000", "--height=640"},
        native);
    if (nativeListed) {
      waitForListed(zenity_->pid());
    } else {
      // Nothing an ordinary program can ask says when it is up: a wait stands in.
      std::this_thread::sleep_for(3s);
    }
    xterm_ = std::make_unique<ChildProcess>(
        "/usr/bin/xterm", std::vector<std::string>{"xterm", "-geometry", "90x28+100+100", "-T",
                                                   "Terminal in front", "-e", "sleep", "600"});
    waitForListed(xterm_->pid());
  }
  ~Desktop() {
    xterm_->signal(SIGTERM);
    zenity_->signal(SIGTERM);
  }

  pid_t nativePid() const { return zenity_->pid(); }
  pid_t x11Pid() const { return xterm_->pid(); }
  fs::path pageFile() const { return dir_.path / "page.txt"; }

  // Whether the window list (what the helper's GNOME backend reads) has a window of `pid`.
  static bool listed(pid_t pid) {
    auto system = makeGnomeWindowSystem();
    if (!system) return false;
    for (const WindowInfo& w : system->readWindowList()) {
      if (w.ownerPID == pid && w.width && *w.width > 200) return true;
    }
    return false;
  }

 private:
  void waitForListed(pid_t pid) {
    for (int i = 0; i < 200 && !listed(pid); ++i) std::this_thread::sleep_for(100ms);
  }

  TempDir dir_;
  std::unique_ptr<ChildProcess> zenity_, xterm_;
};

struct Reply {
  std::string out, err;
  int code = -1;
};

Reply tap(std::vector<std::string> args) {
  args.insert(args.begin(), "lorvane-tap");
  const auto r = runProgram(testing::tapPath(), args);
  return {r.out, r.err, r.exit.exited ? r.exit.code : -1};
}

std::string pidArg(pid_t pid) {
  return "--exclude-pid=" + std::to_string(pid);
}

// Per-line character error rate in percent (the benchmark's measure), reference lines each
// matched with the recognized line that fits best.
double lineErrorRate(const fs::path& reference, const std::string& text) {
  const TempDir dir;
  std::ofstream(dir.path / "read.txt") << text << "\n";
  const auto r =
      runProgram("/usr/bin/python3", {"python3", sourceDir() + "/bench/ocr/cer.py", "--lines",
                                      reference.string(), (dir.path / "read.txt").string()});
  EXPECT_EQ(r.exit.code, 0) << r.err;
  return std::atof(r.out.c_str());
}

class WithExtension : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { desktop_ = new Desktop(true); }
  static void TearDownTestSuite() {
    delete desktop_;
    desktop_ = nullptr;
  }
  static Desktop* desktop_;
};
Desktop* WithExtension::desktop_ = nullptr;

TEST_F(WithExtension, ListsNativeAndXwaylandWindowsFrontMostFirstWithTheirPids) {
  auto system = makeGnomeWindowSystem();
  ASSERT_TRUE(system) << "GNOME Shell does not answer";
  EXPECT_TRUE(system->preflightScreenCapture());
  const auto list = system->readWindowList();
  int native = -1, x11 = -1;
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i].ownerPID == desktop_->nativePid()) native = static_cast<int>(i);
    if (list[i].ownerPID == desktop_->x11Pid()) x11 = static_cast<int>(i);
  }
  ASSERT_GE(native, 0) << "the native window is not listed with its pid";
  ASSERT_GE(x11, 0) << "the xterm is not listed with its pid";
  EXPECT_LT(x11, native) << "the xterm opened last, in front";
  EXPECT_EQ(list[static_cast<size_t>(native)].title, "Harbour log");
  EXPECT_EQ(list[static_cast<size_t>(native)].layer, 0);
  EXPECT_EQ(list[static_cast<size_t>(x11)].ownerName, "XTerm");

  const Reply r = tap({"--windows"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.err, "");
  const auto front = r.out.find(R"({"app":"XTerm","title":"Terminal in front"})");
  const auto back = r.out.find(R"("title":"Harbour log")");
  ASSERT_NE(front, std::string::npos) << r.out;
  ASSERT_NE(back, std::string::npos) << r.out;
  EXPECT_LT(front, back) << r.out;
}

TEST_F(WithExtension, ReadsACoveredNativeWindowWholeWhenItIsTheTarget) {
  // The xterm in front is excluded, so the covered window behind it is the target.
  const Reply r = tap({"--ocr", pidArg(desktop_->x11Pid())});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.err, "");
  ASSERT_NE(r.out.find(R"("title":"Harbour log")"), std::string::npos) << r.out;
  const auto at = r.out.find(R"("text":")");
  ASSERT_NE(at, std::string::npos) << r.out;
  // The reply's text member, unescaped enough for the measure: lines are "\n" in JSON.
  std::string text = r.out.substr(at + 8);
  text = text.substr(0, text.rfind('"'));
  for (size_t p = 0; (p = text.find("\\n", p)) != std::string::npos;) text.replace(p, 2, "\n");
  const double rate = lineErrorRate(desktop_->pageFile(), text);
  RecordProperty("per_line_error_percent", std::to_string(rate));
  EXPECT_LE(rate, 2.0) << text;
}

TEST_F(WithExtension, LeavesOutTheWindowsOfExcludedProcesses) {
  Reply r = tap({"--ocr"});
  EXPECT_NE(r.out.find(R"("app":"XTerm")"), std::string::npos) << r.out;
  r = tap({"--ocr", pidArg(desktop_->x11Pid()), pidArg(desktop_->nativePid())});
  EXPECT_EQ(r.out, "{\"error\":\"no-window\"}\n");
}

// Last of its suite: it stops the shell for a moment.
TEST_F(WithExtension, AShellThatDoesNotAnswerGivesScreenAccessNotAHang) {
  auto bus = dbus::Bus::openSession(dbus::Clock::now() + 2s);
  ASSERT_TRUE(bus.ok()) << bus.error();
  const dbus::Answer owner = bus.value()->call({"org.freedesktop.DBus",
                                                "/org/freedesktop/DBus",
                                                "org.freedesktop.DBus",
                                                "GetConnectionUnixProcessID",
                                                {std::string("org.gnome.Shell")}},
                                               dbus::Clock::now() + 2s);
  const auto shell = dbus::argAt<uint32_t>(owner.args, 0);
  ASSERT_TRUE(shell) << owner.error;
  ASSERT_EQ(kill(static_cast<pid_t>(*shell), SIGSTOP), 0);
  const Reply r = tap({"--ocr"});
  kill(static_cast<pid_t>(*shell), SIGCONT);
  EXPECT_EQ(r.out, "{\"error\":\"screen-access\"}\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.code, 0);
}

class WithoutExtension : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { desktop_ = new Desktop(false); }
  static void TearDownTestSuite() {
    delete desktop_;
    desktop_ = nullptr;
  }
  static Desktop* desktop_;
};
Desktop* WithoutExtension::desktop_ = nullptr;

TEST_F(WithoutExtension, TextCaptureAsksTheUserAndRepliesScreenAccess) {
  const Reply r = tap({"--ocr"});
  EXPECT_EQ(r.out, "{\"error\":\"screen-access\"}\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.code, 0);
  // The request opened the Extensions app, where the user can enable ours.
  auto bus = dbus::Bus::openSession(dbus::Clock::now() + 2s);
  ASSERT_TRUE(bus.ok()) << bus.error();
  bool open = false;
  for (int i = 0; i < 100 && !open; ++i) {
    const auto owned = bus.value()->hasOwner("org.gnome.Extensions", dbus::Clock::now() + 1s);
    open = owned.ok() && owned.value();
    if (!open) std::this_thread::sleep_for(100ms);
  }
  EXPECT_TRUE(open) << "the Extensions app did not start";
}

TEST_F(WithoutExtension, ListsOnlyTheXwaylandWindows) {
  const Reply r = tap({"--windows"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find(R"({"app":"XTerm","title":"Terminal in front"})"), std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("Harbour log"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace lorvane
