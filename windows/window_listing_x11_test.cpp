// Runs under tests/with-x11: a private Xvfb, with openbox unless WITH_X11_NO_WM=1.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <regex>
#include <thread>

#include "tests/support/child_process.h"
#include "tests/support/fixture_windows.h"
#include "windows/x11/x11_window_system.h"

namespace lorvane {
namespace {

using testing::FixtureWindows;

bool windowManagerRuns() {
  const char* noWm = std::getenv("WITH_X11_NO_WM");
  return noWm == nullptr || std::string(noWm) != "1";
}

std::string listWindows(testing::ChildOptions options = {},
                        std::vector<std::string> extraArgs = {}) {
  std::vector<std::string> argv = {"lorvane-tap", "--windows"};
  argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
  const auto r = testing::runProgram(testing::tapPath(), argv, {}, std::move(options));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exit.code, 0);
  return r.out;
}

// Every kind of window the list must show or leave out, one per line.
const char* const kMixedLayout =
    "title=notes/today.txt\tclass=Editor\tpid=4242\n"
    "wm_name=caf\\xe9 latin\tclass=Latin\n"
    "title=first\\nsecond\tclass=Notes\ttype=dialog\ttransient_for=0\n"
    "title=日本語のタイトル\tclass=T\\xe9rminal\ttype=normal\n"
    "title=\\xff\\xfebad\tclass=Raw\n"
    "class=Untitled\n"
    "title=no class\n"
    "title=panel\tclass=Panel\ttype=dock\n"
    "title=palette\tclass=Tool\ttype=utility\n"
    "title=wallpaper\tclass=Desktop\ttype=desktop\n"
    "title=menu\tclass=Menu\ttype=menu\n"
    "title=splash\tclass=Splash\ttype=splash\n"
    "title=bar\tclass=Bar\ttype=toolbar\n"
    "title=note\tclass=Notify\ttype=notification\n"
    "title=min\tclass=Iconic\ticonic=1\n"
    "title=elsewhere\tclass=Away\tdesktop=2\n"
    "title=everywhere\tclass=Sticky\tdesktop=sticky\n"
    "title=withdrawn\tclass=Hidden\thidden=1\n"
    "title=popup\tclass=Popup\toverride_redirect=1\n";

TEST(WindowListing, NoWindowsGiveTheEmptyArray) {
  EXPECT_EQ(listWindows(), "[]\n");
}

TEST(WindowListing, WithoutADisplayTheReplyIsTheEmptyArray) {
  testing::ChildOptions options;
  options.env["DISPLAY"] = std::nullopt;
  EXPECT_EQ(listWindows(options), "[]\n");
  options.env["DISPLAY"] = ":65000";
  EXPECT_EQ(listWindows(options), "[]\n");
}

TEST(WindowListing, AParentThatStoppedReadingStillSeesStatusZero) {
  testing::ChildOptions options;
  options.drainStdout = false;
  testing::ChildProcess child(testing::tapPath(), {"lorvane-tap", "--windows"}, options);
  child.closeStdout();  // before the reply: the helper first reads the window list
  const testing::ExitInfo exit = child.wait(std::chrono::seconds(30));
  EXPECT_TRUE(exit.exited);
  EXPECT_EQ(exit.code, 0);
  EXPECT_EQ(exit.signal, 0);
  EXPECT_EQ(child.err(), "");
}

TEST(WindowListing, OrdinaryShownWindowsFrontMostFirst) {
  if (!windowManagerRuns()) GTEST_SKIP() << "needs the window manager";
  FixtureWindows fixture(kMixedLayout);
  ASSERT_TRUE(fixture.ready()) << fixture.error();
  // Front-most first: mapped later is higher; the dialog sits above its parent. The window
  // without WM_CLASS is named after its process (comm, at most 15 bytes). Left out: dock,
  // utility, desktop, menu, splash, toolbar, notification, iconic, other desktop, withdrawn
  // and override-redirect windows. WM_CLASS, of type STRING, is Latin-1.
  EXPECT_EQ(listWindows(), R"([{"app":"Sticky","title":"everywhere"},)"
                           R"({"app":"lorvane-test-wi","title":"no class"},)"
                           R"({"app":"Untitled","title":""},)"
                           R"({"app":"Raw","title":")"
                           "\xEF\xBF\xBD\xEF\xBF\xBD"
                           R"(bad"},)"
                           R"({"app":"Términal","title":"日本語のタイトル"},)"
                           R"({"app":"Notes","title":"first\nsecond"},)"
                           R"({"app":"Latin","title":"café latin"},)"
                           R"({"app":"Editor","title":"notes\/today.txt"}])"
                           "\n");
}

TEST(WindowListing, WindowsOfExcludedProcessesAreListedLikeAllOthers) {
  FixtureWindows fixture("title=mine\tclass=Other\n");
  ASSERT_TRUE(fixture.ready()) << fixture.error();
  const std::string expected = R"([{"app":"Other","title":"mine"}])"
                               "\n";
  EXPECT_EQ(listWindows({}, {"--exclude-pid=" + std::to_string(fixture.pid()), "--ocr"}), expected);
}

TEST(WindowListing, WithoutWindowManagerStaleStateIsIgnored) {
  if (windowManagerRuns()) GTEST_SKIP() << "needs a display without a window manager";
  FixtureWindows fixture(
      "title=first\tclass=A\n"
      "title=was iconic\tclass=B\ticonic=1\n"
      "title=desktop 2\tclass=C\tdesktop=2\n"
      "title=withdrawn\tclass=D\thidden=1\n"
      "title=popup\tclass=E\toverride_redirect=1\n"
      "title=panel\tclass=F\ttype=dock\n");
  ASSERT_TRUE(fixture.ready()) << fixture.error();
  // What a window manager that died would leave on the root: a check window that is gone,
  // a stacking list and a current desktop.
  const std::string first = std::to_string(fixture.ids()[0]);
  for (const auto& [name, value] : {std::pair{"_NET_SUPPORTING_WM_CHECK", "4194303"},
                                    {"_NET_CLIENT_LIST_STACKING", first.c_str()},
                                    {"_NET_CURRENT_DESKTOP", "1"}}) {
    const auto r = testing::runProgram("/usr/bin/xprop",
                                       {"xprop", "-root", "-f", name, "32c", "-set", name, value});
    ASSERT_EQ(r.exit.code, 0) << r.err;
  }
  EXPECT_EQ(listWindows(), R"([{"app":"C","title":"desktop 2"},{"app":"B","title":"was iconic"},)"
                           R"({"app":"A","title":"first"}])"
                           "\n");
}

TEST(WindowListing, CompoundTextTitlesOfRealClients) {
  // xterm stores a title that Latin-1 cannot hold as COMPOUND_TEXT in WM_NAME, and no
  // _NET_WM_NAME; xprop's "8t" encodes with libX11 as any Xlib client would.
  testing::ChildOptions utf8;
  utf8.env["LC_ALL"] = "C.UTF-8";
  testing::ChildProcess xterm("/usr/bin/xterm", {"xterm", "-T", "会議メモ", "-e", "sleep", "60"},
                              utf8);
  std::vector<WindowInfo> list;
  for (int i = 0; i < 200 && list.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    list = makeX11WindowSystem()->readWindowList();
  }
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(listWindows(), R"([{"app":"XTerm","title":"会議メモ"}])"
                           "\n");
  const auto r = testing::runProgram("/usr/bin/xprop",
                                     {"xprop", "-id", std::to_string(list[0].number), "-f",
                                      "WM_NAME", "8t", "-set", "WM_NAME", "café 会議 这们 한국"},
                                     {}, utf8);
  ASSERT_EQ(r.exit.code, 0) << r.err;
  EXPECT_EQ(listWindows(), R"([{"app":"XTerm","title":"café 会議 这们 한국"}])"
                           "\n");
  xterm.signal(SIGTERM);
  xterm.wait();
}

TEST(WindowListing, TitlesAreReadWholeToOneMebibyteAndCutBetweenCharacters) {
  std::string whole = "a", longer;
  while (whole.size() < (1u << 20)) whole += "日";
  while (longer.size() <= (1u << 20)) longer += "語";
  FixtureWindows fixture("title=" + whole + "\tclass=Whole\ntitle=" + longer + "\tclass=Long\n");
  ASSERT_TRUE(fixture.ready()) << fixture.error();
  const auto list = makeX11WindowSystem()->readWindowList();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_TRUE(list[1].title == whole) << list[1].title.size();
  EXPECT_TRUE(longer.starts_with(list[0].title)) << list[0].title.size();
  EXPECT_EQ(list[0].title.size(), 3 * ((1u << 20) / 3));  // every whole character read
}

TEST(WindowList, FieldsOfEachWindowAndTheOwnerFromXResource) {
  FixtureWindows first("title=big\tclass=One\tpid=4242\tw=201\th=121\n");
  ASSERT_TRUE(first.ready()) << first.error();
  FixtureWindows second(
      "title=small\tclass=Two\tw=200\th=120\n"
      "title=tool\tclass=Two\ttype=utility\tw=250\th=150\n");
  ASSERT_TRUE(second.ready()) << second.error();

  const auto list = makeX11WindowSystem()->readWindowList();
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].number, second.ids()[1]);
  EXPECT_NE(list[0].layer, 0);
  EXPECT_EQ(list[0].width, 250.0);
  // X-Resource names the process that owns the connection, whatever _NET_WM_PID claims.
  EXPECT_EQ(list[1].number, second.ids()[0]);
  EXPECT_EQ(list[1].ownerPID, second.pid());
  EXPECT_EQ(list[1].layer, 0);
  EXPECT_EQ(list[1].ownerName, "Two");
  EXPECT_EQ(list[1].title, "small");
  EXPECT_EQ(list[1].width, 200.0);
  EXPECT_EQ(list[1].height, 120.0);
  EXPECT_EQ(list[2].number, first.ids()[0]);
  EXPECT_EQ(list[2].ownerPID, first.pid());
  EXPECT_EQ(list[2].width, 201.0);
  EXPECT_EQ(list[2].height, 121.0);
}

TEST(WindowList, WindowsThatVanishWhileBeingReadAreLeftOut) {
  // The fixture's 80 windows go away all at once, between two of our pipelined requests if
  // we are lucky: no entry may come out half read, and the listing goes on.
  std::string layout;
  for (int i = 0; i < 80; ++i) layout += "title=w" + std::to_string(i) + "\tclass=Gone\n";
  auto system = makeX11WindowSystem();
  for (int round = 0; round < 3; ++round) {
    auto fixture = std::make_unique<FixtureWindows>(layout);
    ASSERT_TRUE(fixture->ready()) << fixture->error();
    std::thread closer([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      fixture.reset();
    });
    size_t seen = 80;
    for (int i = 0; i < 40 && seen > 0; ++i) {
      const auto list = system->readWindowList();
      seen = list.size();
      for (const WindowInfo& w : list) {
        ASSERT_EQ(w.ownerName, "Gone");
        ASSERT_EQ(w.title.substr(0, 1), "w");
        ASSERT_EQ(w.width, 300.0);
      }
    }
    closer.join();
    const std::string reply = listWindows();
    EXPECT_TRUE(
        std::regex_match(reply, std::regex(R"(\[(\{"app":"Gone","title":"w\d+"\},?)*\]\n)")))
        << reply;
  }
}

// DISPLAY=":N.1" names the server's second screen (run with a second Xvfb screen, no window
// manager there): its windows are the ones listed and captured, as for any X client.
TEST(SecondScreen, TheScreenDisplayNamesIsTheOneRead) {
  const std::string display = std::getenv("DISPLAY");
  const std::string second = display.substr(0, display.find('.')) + ".1";
  testing::ChildProcess message(
      "/usr/bin/xmessage", {"xmessage", "-display", second, "-geometry", "500x300+10+10", "-title",
                            "On screen one", "Text on the second screen"});
  testing::ChildOptions onSecond;
  onSecond.env["DISPLAY"] = second;
  std::string listed;
  for (int i = 0; i < 50 && listed.find("On screen one") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    listed = listWindows(onSecond);
  }
  EXPECT_EQ(listed, "[{\"app\":\"Xmessage\",\"title\":\"On screen one\"}]\n");
  EXPECT_EQ(listWindows(), "[]\n");  // nothing on the first
  const auto ocr = testing::runProgram(testing::tapPath(), {"lorvane-tap", "--ocr"}, {}, onSecond);
  EXPECT_NE(ocr.out.find("\"title\":\"On screen one\""), std::string::npos) << ocr.out;
}

}  // namespace
}  // namespace lorvane
