// Runs under tests/with-sway (headless sway with Xwayland): the window modes against a native
// terminal (foot), a GTK dialog (zenity) and an xterm under Xwayland.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <thread>

#include "tests/support/child_process.h"

namespace lorvane {
namespace {

using namespace std::chrono_literals;
using Json = nlohmann::json;
using testing::ChildOptions;
using testing::ChildProcess;

std::string sourceDir() {
  const char* dir = std::getenv("LORVANE_SOURCE_DIR");
  return dir != nullptr ? dir : ".";
}

// The terminal text: a page of its own, nine lines that fit the terminals' width.
std::string pagePath() {
  return sourceDir() + "/bench/ocr/apps/terminal-en.txt";
}

std::vector<std::string> pageLines() {
  std::ifstream in(pagePath());
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Shows `file` with the cursor hidden, then sets the window title to `title`: once the title
// is there, so is the text.
std::string showThenTitle(const std::string& file, const std::string& title) {
  return "printf '\\033[?25l'; cat '" + file + "'; printf '\\033]2;" + title +
         "\\007'; exec sleep 600";
}

Json tree() {
  const auto r = testing::runProgram("/usr/bin/swaymsg", {"swaymsg", "-t", "get_tree", "-r"});
  return Json::parse(r.out, nullptr, false);
}

// The tree's window of process `pid`; null when it has none (yet).
Json windowOf(const Json& node, pid_t pid) {
  if (node.value("pid", -1) == pid) return node;
  for (const char* list : {"nodes", "floating_nodes"}) {
    if (!node.contains(list)) continue;
    for (const Json& child : node[list]) {
      if (Json found = windowOf(child, pid); !found.is_null()) return found;
    }
  }
  return nullptr;
}

// Waits until the process shows a window whose title is `title` (any title when empty).
bool waitForWindow(pid_t pid, const std::string& title) {
  for (int i = 0; i < 300; ++i) {
    const Json w = windowOf(tree(), pid);
    if (!w.is_null() && (title.empty() || w.value("name", Json()) == title)) return true;
    std::this_thread::sleep_for(50ms);
  }
  return false;
}

void sway(const std::string& command) {
  const auto r = testing::runProgram("/usr/bin/swaymsg", {"swaymsg", command});
  ASSERT_EQ(r.exit.code, 0) << command << ": " << r.out << r.err;
}

void focus(pid_t pid) {
  sway("[pid=" + std::to_string(pid) + "] focus");
}

Json run(std::vector<std::string> argv, ChildOptions options = {}) {
  const auto r = testing::runProgram(testing::tapPath(), std::move(argv), {}, std::move(options));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exit.code, 0);
  const Json reply = Json::parse(r.out, nullptr, false);
  EXPECT_FALSE(reply.is_discarded()) << r.out;
  return reply;
}

// Per-line character error rate in percent, by the benchmark's measure (text that the page
// does not hold costs nothing; a line missing costs its length).
double lineErrorRate(const std::string& text) {
  const std::string hypothesis = "/tmp/lorvane-sway-hypothesis-" + std::to_string(getpid());
  std::ofstream(hypothesis, std::ios::binary) << text;
  const auto r = testing::runProgram(
      "/usr/bin/python3",
      {"python3", sourceDir() + "/bench/ocr/cer.py", "--lines", pagePath(), hypothesis});
  std::remove(hypothesis.c_str());
  EXPECT_EQ(r.exit.code, 0) << r.err;
  return std::atof(r.out.c_str());
}

// The three windows, started once for all tests: foot and xterm tiled side by side, the
// zenity dialog floating above them.
class SwaySession : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ChildOptions quiet;
    foot_ = new ChildProcess("/usr/bin/foot",
                             {"foot", "sh", "-c", showThenTitle(pagePath(), "FootReady")}, quiet);
    ASSERT_TRUE(waitForWindow(foot_->pid(), "FootReady")) << foot_->err();
    xterm_ = new ChildProcess("/usr/bin/xterm",
                              {"xterm", "-fa", "DejaVu Sans Mono", "-fs", "11", "-e", "sh", "-c",
                               showThenTitle(pagePath(), "XtermReady")},
                              quiet);
    ASSERT_TRUE(waitForWindow(xterm_->pid(), "XtermReady")) << xterm_->err();
    ChildOptions gtk;
    gtk.env["GDK_BACKEND"] = "wayland";
    zenity_ =
        new ChildProcess("/usr/bin/zenity", {"zenity", "--info", "--text=Hello from GTK"}, gtk);
    ASSERT_TRUE(waitForWindow(zenity_->pid(), "")) << zenity_->err();
  }
  static void TearDownTestSuite() {
    for (ChildProcess** p : {&zenity_, &xterm_, &foot_}) {
      if (*p != nullptr) {
        (*p)->signal(SIGTERM);
        (*p)->wait(5s);
      }
      delete *p;
      *p = nullptr;
    }
  }

  static inline ChildProcess* foot_ = nullptr;
  static inline ChildProcess* xterm_ = nullptr;
  static inline ChildProcess* zenity_ = nullptr;
};

TEST_F(SwaySession, ListsAllThreeFloatingFirstThenByFocus) {
  focus(foot_->pid());
  EXPECT_EQ(run({"lorvane-tap", "--windows"}),
            Json::parse(R"([{"app":"zenity","title":"Information"},
                            {"app":"foot","title":"FootReady"},
                            {"app":"XTerm","title":"XtermReady"}])"));
  focus(xterm_->pid());
  const Json list = run({"lorvane-tap", "--windows"});
  ASSERT_EQ(list.size(), 3u) << list;
  EXPECT_EQ(list[1]["app"], "XTerm");
  EXPECT_EQ(list[2]["app"], "foot");
}

TEST_F(SwaySession, OcrReadsTheFrontMostNativeWindow) {
  focus(foot_->pid());
  const Json reply = run({"lorvane-tap", "--ocr"});
  EXPECT_EQ(reply.value("app", ""), "foot");
  EXPECT_EQ(reply.value("title", ""), "FootReady");
  const double rate = lineErrorRate(reply.value("text", ""));
  EXPECT_LE(rate, 2.0) << reply;
  ::testing::Test::RecordProperty("foot_line_error_percent", std::to_string(rate));
}

TEST_F(SwaySession, OcrReadsTheXtermWhenFrontMost) {
  focus(xterm_->pid());
  const Json reply = run({"lorvane-tap", "--ocr"});
  EXPECT_EQ(reply.value("app", ""), "XTerm");
  EXPECT_LE(lineErrorRate(reply.value("text", "")), 2.0) << reply;
}

TEST_F(SwaySession, ExcludedProcessesAreLeftOut) {
  focus(foot_->pid());
  const Json reply = run({"lorvane-tap", "--ocr", "--exclude-pid=" + std::to_string(foot_->pid())});
  EXPECT_EQ(reply.value("app", ""), "XTerm") << reply;
}

TEST_F(SwaySession, WhatCoversANativeTargetIsNotRead) {
  // A second terminal floating over the lower half of foot's page, its process excluded.
  const std::string coverText = "/tmp/lorvane-sway-cover-" + std::to_string(getpid());
  std::ofstream(coverText) << "ZEBRA QUILT WAX\nZEBRA QUILT WAX\nZEBRA QUILT WAX\n";
  // Floating from the start: a tiled window would first squeeze the others, and the terminals
  // would lose what no longer fit.
  sway("for_window [app_id=cover] floating enable");
  ChildProcess cover("/usr/bin/foot",
                     {"foot", "-a", "cover", "sh", "-c", showThenTitle(coverText, "CoverReady")});
  ASSERT_TRUE(waitForWindow(cover.pid(), "CoverReady")) << cover.err();
  // foot's text starts at the top of its area (y 25 on the output), 14 pixels a line: the
  // cover's title bar starts on the fourth line.
  sway("[app_id=cover] resize set 600 200, move position 0 110");
  focus(cover.pid());
  const Json reply = run({"lorvane-tap", "--ocr", "--exclude-pid=" + std::to_string(cover.pid())});
  cover.signal(SIGTERM);
  cover.wait(5s);
  std::remove(coverText.c_str());
  const std::string text = reply.value("text", "");
  EXPECT_EQ(reply.value("app", ""), "foot") << reply;
  EXPECT_EQ(text.find("ZEBRA"), std::string::npos) << text;
  const auto lines = pageLines();
  // The first three lines are in the open; the last three lie under the cover.
  EXPECT_NE(text.find(lines[0].substr(0, 20)), std::string::npos) << text;
  EXPECT_NE(text.find(lines[2].substr(0, 20)), std::string::npos) << text;
  for (size_t i = 6; i < lines.size(); ++i) {
    EXPECT_EQ(text.find(lines[i].substr(0, 12)), std::string::npos) << text;
  }
}

TEST_F(SwaySession, WithoutSwaysSocketTheListComesFromForeignToplevels) {
  // What a wlroots compositor without sway's IPC gives: titles and app ids, no pids or sizes,
  // so only the Xwayland window (known to X11) can be read.
  focus(foot_->pid());
  ChildOptions wlroots;
  wlroots.env["SWAYSOCK"] = std::nullopt;
  Json list = run({"lorvane-tap", "--windows"}, wlroots);
  ASSERT_EQ(list.size(), 3u) << list;
  EXPECT_EQ(list[0], Json::parse(R"({"app":"foot","title":"FootReady"})"));  // the active one
  // The others in the compositor's order, which the protocol leaves open.
  std::vector<Json> rest{list[1], list[2]};
  std::ranges::sort(rest, {}, [](const Json& w) { return w.dump(); });
  EXPECT_EQ(Json(rest), Json::parse(R"([{"app":"XTerm","title":"XtermReady"},
                                        {"app":"zenity","title":"Information"}])"));
  EXPECT_EQ(run({"lorvane-tap", "--ocr"}, wlroots).value("app", ""), "XTerm");
}

TEST_F(SwaySession, UnderXwaylandAloneOcrReadsTheXterm) {
  // Outside the Wayland session the helper sees only the X server: Xwayland, rootless.
  ChildOptions x11;
  x11.env["SWAYSOCK"] = std::nullopt;
  x11.env["WAYLAND_DISPLAY"] = std::nullopt;
  const Json list = run({"lorvane-tap", "--windows"}, x11);
  EXPECT_EQ(list, Json::parse(R"([{"app":"XTerm","title":"XtermReady"}])"));
  const Json reply = run({"lorvane-tap", "--ocr"}, x11);
  EXPECT_EQ(reply.value("app", ""), "XTerm") << reply;
  EXPECT_LE(lineErrorRate(reply.value("text", "")), 2.0) << reply;
}

TEST_F(SwaySession, UnderXwaylandTheProbeDeniesWithoutTheSessionVariables) {
  ChildOptions x11;
  x11.env["WAYLAND_DISPLAY"] = std::nullopt;
  x11.env["XDG_SESSION_TYPE"] = std::nullopt;
  const auto r =
      testing::runProgram(testing::tapPath(), {"lorvane-tap", "--listen-access"}, {}, x11);
  EXPECT_EQ(r.out, "denied\n");  // the test user reads no event device
  EXPECT_EQ(r.err, "");
}

TEST_F(SwaySession, ASwaySocketNobodyListensOnIsPassedOver) {
  ChildOptions stale;
  stale.env["SWAYSOCK"] = "/tmp/lorvane-no-sway-here.sock";
  EXPECT_EQ(run({"lorvane-tap", "--windows"}, stale).size(), 3u);  // from foreign toplevels
}

// Last: sway stays stopped until the replies are in. Both modes still reply, from what sway's
// failure leaves (an empty list, an error naming sway).
TEST_F(SwaySession, AFrozenSwayStillGetsReplies) {
  const std::string socket = std::getenv("SWAYSOCK");
  // sway names its socket sway-ipc.UID.PID.sock.
  const size_t end = socket.rfind(".sock"), start = socket.rfind('.', end - 1) + 1;
  const pid_t sway = std::stoi(socket.substr(start, end - start));
  ASSERT_EQ(kill(sway, SIGSTOP), 0);
  const auto windows = testing::runProgram(testing::tapPath(), {"lorvane-tap", "--windows"});
  const auto ocr = testing::runProgram(testing::tapPath(), {"lorvane-tap", "--ocr"});
  kill(sway, SIGCONT);
  EXPECT_EQ(windows.out, "[]\n");
  EXPECT_EQ(ocr.out, "{\"error\":\"sway IPC: sway did not answer in time\"}\n");
  EXPECT_EQ(windows.err + ocr.err, "");
  EXPECT_EQ(windows.exit.code + ocr.exit.code, 0);
}

}  // namespace
}  // namespace lorvane
