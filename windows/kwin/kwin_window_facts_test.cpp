#include "windows/kwin/kwin_window_facts.h"

#include <gtest/gtest.h>

#include "windows/kwin/kwin_script.h"

namespace lorvane {
namespace {

KWinWindowFacts window(const std::string& id, int64_t stacking) {
  KWinWindowFacts f;
  f.internalId = id;
  f.stacking = stacking;
  f.onCurrentDesktop = true;
  f.normal = true;
  f.width = 400;
  f.height = 300;
  return f;
}

std::vector<std::string> ids(const std::vector<KWinWindowFacts>& facts) {
  std::vector<std::string> out;
  for (const auto& f : facts) out.push_back(f.internalId);
  return out;
}

TEST(KWinReport, ReadsEveryFactTheScriptSends) {
  const auto facts = parseKWinReport(
      R"([{"internalId":"{a}","pid":42,"caption":"Notes","resourceClass":"gedit",)"
      R"("desktopFileName":"org.gnome.gedit","x":10,"y":20.5,"width":640,"height":480,)"
      R"("active":true,"minimized":false,"stacking":3,"onCurrentDesktop":true,"normal":true,)"
      R"("dialog":false,"special":false,"desktop":false,"dock":false,"deleted":false}])");
  ASSERT_TRUE(facts);
  ASSERT_EQ(facts->size(), 1u);
  const KWinWindowFacts& f = (*facts)[0];
  EXPECT_EQ(f.internalId, "{a}");
  EXPECT_EQ(f.pid, 42);
  EXPECT_EQ(f.caption, "Notes");
  EXPECT_EQ(f.resourceClass, "gedit");
  EXPECT_EQ(f.desktopFileName, "org.gnome.gedit");
  EXPECT_EQ(f.y, 20.5);
  EXPECT_EQ(f.width, 640);
  EXPECT_EQ(f.height, 480);
  EXPECT_TRUE(f.active && f.onCurrentDesktop && f.normal);
  EXPECT_EQ(f.stacking, 3);
}

TEST(KWinReport, MalformedPartsKeepTheirDefaults) {
  EXPECT_FALSE(parseKWinReport("{}"));
  EXPECT_FALSE(parseKWinReport("[{"));
  const auto facts =
      parseKWinReport(R"([7, {"pid":1}, {"internalId":"{b}","pid":1.5,"caption":3,"width":"wide",)"
                      R"("stacking":1e12,"active":"yes"}])");
  ASSERT_TRUE(facts);
  ASSERT_EQ(facts->size(), 1u);  // no object, no id: nothing to capture it by
  const KWinWindowFacts& f = (*facts)[0];
  EXPECT_EQ(f.pid, 0);
  EXPECT_EQ(f.caption, "");
  EXPECT_EQ(f.width, 0);
  EXPECT_EQ(f.stacking, -1);
  EXPECT_FALSE(f.active);
}

TEST(KWinVisible, LeavesOutWhatTheUserDoesNotSee) {
  std::vector<KWinWindowFacts> facts;
  for (const char* id : {"shown", "min", "away", "special", "desktop", "dock", "gone", "flat"}) {
    facts.push_back(window(id, static_cast<int64_t>(facts.size())));
  }
  facts[1].minimized = true;
  facts[2].onCurrentDesktop = false;
  facts[3].special = true;
  facts[4].desktop = true;
  facts[5].dock = true;
  facts[6].deleted = true;
  facts[7].height = 0;
  EXPECT_EQ(ids(visibleFrontFirst(facts)), std::vector<std::string>{"shown"});
}

TEST(KWinVisible, TopOfTheStackFirstThenTheActiveWindow) {
  std::vector<KWinWindowFacts> facts = {window("bottom", 0), window("top", 5), window("a", 2),
                                        window("b", 2), window("unknown", -1)};
  facts[3].active = true;
  EXPECT_EQ(ids(visibleFrontFirst(facts)),
            (std::vector<std::string>{"top", "b", "a", "bottom", "unknown"}));
}

TEST(KWinWindowInfo, LayerApplicationAndSize) {
  KWinWindowFacts f = window("{c}", 0);
  f.pid = 77;
  f.caption = "Report";
  f.desktopFileName = "org.kde.okular";
  WindowInfo info = windowInfoOf(f, 9);
  EXPECT_EQ(info.layer, 0);
  EXPECT_EQ(info.ownerName, "org.kde.okular");  // no resource class: the desktop file
  EXPECT_EQ(info.title, "Report");
  EXPECT_EQ(info.ownerPID, 77);
  EXPECT_EQ(info.width, 400);
  EXPECT_EQ(info.height, 300);
  EXPECT_EQ(info.number, 9u);
  f.resourceClass = "okular";
  f.normal = false;
  f.dialog = true;
  EXPECT_EQ(windowInfoOf(f, 9).ownerName, "okular");
  EXPECT_EQ(windowInfoOf(f, 9).layer, 0);
  f.dialog = false;  // a utility window, menu or toolbar
  EXPECT_EQ(windowInfoOf(f, 9).layer, 1);
}

TEST(KWinScript, ReportsToTheGivenAddressOnly) {
  const std::string script = kwinListScript(":1.42", "/p", "org.example.I");
  EXPECT_NE(script.find(R"(callDBus(":1.42", "/p", "org.example.I", "Windows")"),
            std::string::npos);
  EXPECT_EQ(script.find('@'), std::string::npos);
}

}  // namespace
}  // namespace lorvane
