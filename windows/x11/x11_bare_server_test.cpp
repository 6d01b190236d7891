// Runs under tests/with-x11 on an Xvfb without X-Resource, Composite and DAMAGE (see
// windows/CMakeLists.txt): what is left when a server lacks them.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/support/child_process.h"
#include "tests/support/fixture_windows.h"
#include "windows/x11/x11_window_system.h"

namespace lorvane {
namespace {

using testing::FixtureWindows;

TEST(BareServer, OwnersComeFromNetWmPidAlone) {
  FixtureWindows f(
      "title=claims a pid\tclass=Claimed\tpid=4242\n"
      "title=no pid\tclass=Quiet\n"
      "title=neither pid nor class\n");
  ASSERT_TRUE(f.ready()) << f.error();
  const auto list = makeX11WindowSystem()->readWindowList();
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[2].ownerPID, 4242);
  EXPECT_EQ(list[2].ownerName, "Claimed");
  EXPECT_EQ(list[1].ownerPID, 0);
  EXPECT_EQ(list[0].ownerPID, 0);
  EXPECT_EQ(list[0].ownerName, "");  // no pid: no process name either
  const auto r = testing::runProgram(testing::tapPath(), {"lorvane-tap", "--windows"});
  EXPECT_EQ(r.out, R"([{"app":"Quiet","title":"no pid"},{"app":"Claimed","title":"claims a pid"}])"
                   "\n");
}

TEST(BareServer, CaptureSaysThatCompositeIsMissing) {
  FixtureWindows f("class=Pic\n");
  ASSERT_TRUE(f.ready()) << f.error();
  auto system = makeX11WindowSystem();
  EXPECT_TRUE(system->preflightScreenCapture());
  CapturableWindow w;
  w.windowID = f.ids()[0];
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%x", w.windowID);
  EXPECT_EQ(system->captureWindow(w, 300, 200).error(),
            std::string("X11 capture of window ") + hex +
                " failed: the X server lacks the Composite extension");
}

}  // namespace
}  // namespace lorvane
