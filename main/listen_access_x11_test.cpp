// Runs under tests/with-x11: a private Xvfb offers XInput2 and RECORD.
#include <fcntl.h>
#include <glob.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/support/child_process.h"

namespace lorvane {
namespace {

// The session kind comes from the environment; the tests set it, whatever the caller's is.
testing::ChildOptions session(const char* waylandDisplay, const char* sessionType) {
  testing::ChildOptions options;
  options.env["WAYLAND_DISPLAY"] =
      waylandDisplay ? std::optional<std::string>(waylandDisplay) : std::nullopt;
  options.env["XDG_SESSION_TYPE"] =
      sessionType ? std::optional<std::string>(sessionType) : std::nullopt;
  return options;
}

bool anyEventDeviceReadable() {
  glob_t found{};
  bool readable = false;
  if (glob("/dev/input/event*", 0, nullptr, &found) == 0) {
    for (size_t i = 0; i < found.gl_pathc && !readable; ++i) {
      const int fd = open(found.gl_pathv[i], O_RDONLY | O_NONBLOCK);
      readable = fd >= 0;
      if (fd >= 0) close(fd);
    }
  }
  globfree(&found);
  return readable;
}

TEST(ProbeUnderX11, GrantedWithAndWithoutRequest) {
  ASSERT_NE(std::getenv("DISPLAY"), nullptr);
  for (std::vector<std::string> argv : {std::vector<std::string>{"lorvane-tap", "--listen-access"},
                                        {"lorvane-tap", "--listen-access", "--request"},
                                        {"lorvane-tap", "--windows", "--listen-access"}}) {
    const auto r = testing::runProgram(testing::tapPath(), argv, {}, session(nullptr, "x11"));
    EXPECT_EQ(r.out, "granted\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exit.code, 0);
  }
}

TEST(ProbeUnderX11, InAWaylandSessionOnlyEventDevicesCount) {
  if (anyEventDeviceReadable()) GTEST_SKIP() << "this machine lets us read an event device";
  for (const auto& options : {session("wayland-0", nullptr), session(nullptr, "wayland")}) {
    const auto r =
        testing::runProgram(testing::tapPath(), {"lorvane-tap", "--listen-access"}, {}, options);
    EXPECT_EQ(r.out, "denied\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exit.code, 0);
  }
}

}  // namespace
}  // namespace lorvane
