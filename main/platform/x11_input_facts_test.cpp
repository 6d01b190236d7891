#include "main/platform/x11_input_facts.h"

#include <gtest/gtest.h>

namespace lorvane {
namespace {

// A plain X server (Xvfb, Xorg) that offers both ways to listen.
X11InputFacts plainServer() {
  X11InputFacts facts;
  facts.xwaylandExtension = false;
  facts.outputNames = std::vector<std::string>{"screen"};
  facts.record = true;
  facts.xinputMajor = 2;
  return facts;
}

TEST(X11InputFacts, APlainServerGrantsByRecordOrXInput2) {
  EXPECT_TRUE(x11GrantsGlobalInput(plainServer()));
  X11InputFacts xinputOnly = plainServer();
  xinputOnly.record = false;
  EXPECT_TRUE(x11GrantsGlobalInput(xinputOnly));
  xinputOnly.xinputMajor = 1;  // XInput 1 cannot listen on the root window
  EXPECT_FALSE(x11GrantsGlobalInput(xinputOnly));
  X11InputFacts noRandr = plainServer();
  noRandr.outputNames = std::vector<std::string>{};
  EXPECT_TRUE(x11GrantsGlobalInput(noRandr));
}

TEST(X11InputFacts, XwaylandNeverGrantsWhateverItOffers) {
  X11InputFacts byExtension = plainServer();
  byExtension.xwaylandExtension = true;
  EXPECT_TRUE(mayBeXwayland(byExtension));
  EXPECT_FALSE(x11GrantsGlobalInput(byExtension));
  // Xwayland 22 (Debian 12) has no XWAYLAND extension; its outputs give it away, whichever
  // of them is listed first.
  X11InputFacts byOutputs = plainServer();
  byOutputs.outputNames = std::vector<std::string>{"HDMI-1", "XWAYLAND1"};
  EXPECT_TRUE(mayBeXwayland(byOutputs));
  EXPECT_FALSE(x11GrantsGlobalInput(byOutputs));
}

TEST(X11InputFacts, AnUnansweredQuestionCountsAsXwayland) {
  X11InputFacts noExtensionAnswer = plainServer();
  noExtensionAnswer.xwaylandExtension.reset();
  EXPECT_FALSE(x11GrantsGlobalInput(noExtensionAnswer));
  X11InputFacts noOutputAnswer = plainServer();
  noOutputAnswer.outputNames.reset();
  EXPECT_FALSE(x11GrantsGlobalInput(noOutputAnswer));
}

}  // namespace
}  // namespace lorvane
