#include "windows/sway/foreign_toplevels.h"

#include <gtest/gtest.h>

namespace lorvane {
namespace {

WindowInfo x11Window(const std::string& app, const std::string& title, int32_t pid) {
  WindowInfo w;
  w.layer = 0;
  w.ownerName = app;
  w.title = title;
  w.ownerPID = pid;
  w.width = 640;
  w.height = 480;
  w.number = 0x400000u + static_cast<uint32_t>(pid);
  return w;
}

std::vector<std::string> titles(const std::vector<WindowInfo>& list) {
  std::vector<std::string> out;
  for (const auto& w : list) out.push_back(w.title);
  return out;
}

TEST(ForeignToplevels, ActiveFirstMinimizedLeftOutXwaylandAsX11ListsIt) {
  const std::vector<ForeignToplevel> toplevels{
      {"notes", "foot", false, false},
      {"XtermReady", "XTerm", false, false},
      {"hidden", "foot", false, true},
      {"dialog", "zenity", true, false},
  };
  const auto list = mergeToplevels(toplevels, {x11Window("XTerm", "XtermReady", 42)});
  EXPECT_EQ(titles(list), (std::vector<std::string>{"dialog", "notes", "XtermReady"}));
  // Native windows: no owner, no size, no number; never a capture target.
  EXPECT_EQ(list[0].ownerName, "zenity");
  EXPECT_EQ(list[0].ownerPID, 0);
  EXPECT_FALSE(list[0].width);
  EXPECT_EQ(list[0].number, 0u);
  EXPECT_EQ(list[2].ownerPID, 42);
  EXPECT_EQ(list[2].number, 0x400000u + 42);
}

TEST(ForeignToplevels, EachX11WindowStandsForOneToplevelAndTheRestComeLast) {
  // Two xterms of the same title: each toplevel takes its own; a toplevel with another app id
  // is no Xwayland window even with the same title; an X11 window no toplevel names is kept.
  const std::vector<ForeignToplevel> toplevels{
      {"shell", "", false, false}, {"shell", "", false, false}, {"shell", "foot", false, false}};
  const auto list =
      mergeToplevels(toplevels, {x11Window("XTerm", "shell", 1), x11Window("XTerm", "shell", 2),
                                 x11Window("XClock", "clock", 3)});
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[0].ownerPID, 1);
  EXPECT_EQ(list[1].ownerPID, 2);
  EXPECT_EQ(list[2].ownerName, "foot");
  EXPECT_EQ(list[2].ownerPID, 0);
  EXPECT_EQ(list[3].ownerName, "XClock");
}

}  // namespace
}  // namespace lorvane
