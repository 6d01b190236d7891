// Run inside a headless KWin by tests/with-kwin, with WITH_KWIN_AUTHORISE naming the helper
// under test: KWin then finds the package's desktop file for it. One xterm (Xwayland) at the
// back, a GTK window showing a page of text, and a second GTK window in front covering the
// middle half of it.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "tests/support/child_process.h"

namespace lorvane {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using testing::ChildOptions;
using testing::ChildProcess;

const std::vector<std::string> kPage = {
    "Harbour notes for the evening ferry",
    "The crossing leaves at twenty past seven from pier four.",
    "Bicycles travel free; cars must be booked a day ahead.",
    "Tickets bought on board cost eleven euros and fifty cents.",
    "Bring a warm coat: the upper deck is windy after dark.",
    "Return sailings run every ninety minutes until midnight.",
};

std::string sourceDir() {
  const char* dir = std::getenv("LORVANE_SOURCE_DIR");
  return dir != nullptr ? dir : ".";
}

std::string run(const std::string& tap, std::vector<std::string> argv) {
  const auto r = testing::runProgram(tap, std::move(argv));
  EXPECT_EQ(r.exit.code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  return r.out;
}

class KWinSession : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char name[] = "/tmp/lorvane-kwin-XXXXXX";
    dir_ = mkdtemp(name);
    std::ofstream page(dir_ / "page.txt");
    for (const std::string& line : kPage) page << line << "\n";
    page.close();
    ChildOptions gtk;
    gtk.env["GDK_BACKEND"] = "wayland";
    // Each window shows up before the next one starts, so the stacking order is known.
    // dash sets no title of its own.
    xterm_ = start("/usr/bin/xterm", {"xterm", "-geometry", "80x30", "-T", "Terminal", "-e", "sh"},
                   {}, 1);
    page_ = start("/usr/bin/zenity",
                  {"zenity", "--text-info", "--title=Ferry notes", "--width=900", "--height=500",
                   "--filename=" + (dir_ / "page.txt").string()},
                  gtk, 2);
    cover_ =
        start("/usr/bin/zenity",
              {"zenity", "--info", "--title=Cover", "--text=cover", "--width=450", "--height=500"},
              gtk, 3);
  }

  static void TearDownTestSuite() {
    cover_.reset();
    page_.reset();
    xterm_.reset();
    fs::remove_all(dir_);
  }

  // Starts a window and waits until the helper lists `count` windows.
  static std::unique_ptr<ChildProcess> start(const std::string& path, std::vector<std::string> argv,
                                             ChildOptions options, size_t count) {
    auto child = std::make_unique<ChildProcess>(path, std::move(argv), std::move(options));
    for (int i = 0; i < 100; ++i) {
      const auto r = testing::runProgram(testing::tapPath(), {"lorvane-tap", "--windows"});
      if (std::count(r.out.begin(), r.out.end(), '{') >= static_cast<long>(count)) break;
      std::this_thread::sleep_for(milliseconds(100));
    }
    return child;
  }

  // Per-line character error rates of `text` against the page, in percent.
  static std::vector<double> lineErrors(const std::string& text) {
    const fs::path hypothesis = dir_ / "hypothesis.txt", reference = dir_ / "line.txt";
    std::ofstream(hypothesis, std::ios::binary) << text;
    std::vector<double> rates;
    for (const std::string& line : kPage) {
      std::ofstream(reference, std::ios::binary) << line << "\n";
      const auto r = testing::runProgram("/usr/bin/python3",
                                         {"python3", sourceDir() + "/bench/ocr/cer.py", "--lines",
                                          reference.string(), hypothesis.string()});
      rates.push_back(std::atof(r.out.c_str()));
    }
    return rates;
  }

  static inline fs::path dir_;
  static inline std::unique_ptr<ChildProcess> xterm_, page_, cover_;
};

// The "text" member of a reply, with its escapes undone (the page holds no others).
std::string textOf(const std::string& reply) {
  const std::string key = "\"text\":\"";
  const size_t start = reply.find(key);
  if (start == std::string::npos) return {};
  std::string text;
  for (size_t i = start + key.size(); i < reply.size() && reply[i] != '"'; ++i) {
    if (reply[i] != '\\') {
      text += reply[i];
    } else {
      const char e = reply[++i];
      text += e == 'n' ? '\n' : e;
    }
  }
  return text;
}

TEST_F(KWinSession, ListsNativeAndXwaylandWindowsFrontMostFirst) {
  EXPECT_EQ(run(testing::tapPath(), {"lorvane-tap", "--windows"}),
            R"([{"app":"zenity","title":"Cover"},{"app":"zenity","title":"Ferry notes"},)"
            R"({"app":"xterm","title":"Terminal"}])"
            "\n");
}

TEST_F(KWinSession, ReadsTheCoveredWindowWholeWhenTheCoverIsExcluded) {
  const std::string reply =
      run(testing::tapPath(),
          {"lorvane-tap", "--ocr", "--exclude-pid=" + std::to_string(cover_->pid())});
  EXPECT_EQ(reply.rfind(R"({"app":"zenity","title":"Ferry notes","text":")", 0), 0u) << reply;
  const std::vector<double> errors = lineErrors(textOf(reply));
  for (size_t i = 0; i < kPage.size(); ++i) {
    EXPECT_LE(errors[i], 2.0) << kPage[i] << "\nread: " << textOf(reply);
  }
}

TEST_F(KWinSession, OwnerPidsReachTheTargetChoice) {
  const std::string reply = run(
      testing::tapPath(), {"lorvane-tap", "--ocr", "--exclude-pid=" + std::to_string(cover_->pid()),
                           "--exclude-pid=" + std::to_string(page_->pid())});
  EXPECT_EQ(reply.rfind(R"({"app":"xterm","title":"Terminal","text":")", 0), 0u) << reply;
}

// Without WAYLAND_DISPLAY (KWin managing an X11 session) the X11 window system answers: it sees
// only the Xwayland window here.
TEST_F(KWinSession, OutsideAWaylandSessionX11Answers) {
  ChildOptions x11;
  x11.env["WAYLAND_DISPLAY"] = std::nullopt;
  const auto r = testing::runProgram(testing::tapPath(), {"lorvane-tap", "--windows"}, {}, x11);
  EXPECT_EQ(r.out, "[{\"app\":\"XTerm\",\"title\":\"Terminal\"}]\n");
}

// KWin lets only an executable named by a desktop file take pictures: a copy of the same
// program elsewhere is refused before any window is looked at.
TEST_F(KWinSession, AnExecutableNoDesktopFileNamesGetsScreenAccess) {
  const fs::path copy = dir_ / "lorvane-tap";
  fs::copy_file(testing::tapPath(), copy);
  fs::permissions(copy, fs::perms::owner_all);
  EXPECT_EQ(run(copy.string(), {"lorvane-tap", "--ocr"}), "{\"error\":\"screen-access\"}\n");
}

// A KWin that stops answering: the listing is empty and text capture an error naming D-Bus,
// both within the time limit (CTest's timeout catches a hang).
TEST_F(KWinSession, AStoppedKWinGivesEmptyAndErrorReplies) {
  // with-kwin's session command is KWin's child and this test's parent.
  std::ifstream stat("/proc/" + std::to_string(getppid()) + "/stat");
  std::string pid, comm, state;
  pid_t kwin = 0;
  stat >> pid >> comm >> state >> kwin;
  ASSERT_GT(kwin, 1);
  ASSERT_EQ(kill(kwin, SIGSTOP), 0);
  const std::string windows = run(testing::tapPath(), {"lorvane-tap", "--windows"});
  const std::string ocr = run(testing::tapPath(), {"lorvane-tap", "--ocr"});
  kill(kwin, SIGCONT);
  EXPECT_EQ(windows, "[]\n");
  EXPECT_EQ(ocr.rfind(R"({"error":"D-Bus call org.kde.KWin.ScreenShot2.CaptureWindow to )"
                      R"(org.kde.KWin failed: org.freedesktop.DBus.Error.Timeout)",
                      0),
            0u)
      << ocr;
}

}  // namespace
}  // namespace lorvane
