// Runs under tests/with-x11: a private Xvfb offers XInput2 and RECORD.
#include <gtest/gtest.h>

#include "tests/support/child_process.h"

namespace lorvane {
namespace {

TEST(ProbeUnderX11, GrantedWithAndWithoutRequest) {
  ASSERT_NE(std::getenv("DISPLAY"), nullptr);
  for (std::vector<std::string> argv : {std::vector<std::string>{"lorvane-tap", "--listen-access"},
                                        {"lorvane-tap", "--listen-access", "--request"},
                                        {"lorvane-tap", "--windows", "--listen-access"}}) {
    const auto r = testing::runProgram(testing::tapPath(), argv);
    EXPECT_EQ(r.out, "granted\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exit.code, 0);
  }
}

}  // namespace
}  // namespace lorvane
