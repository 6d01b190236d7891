#include "windows/x11/x11_client_facts.h"

#include <gtest/gtest.h>

namespace lorvane {
namespace {

const X11ScreenFacts kWithWm{1920, 1080, true, 0};
const X11ScreenFacts kNoWm{1920, 1080, false, std::nullopt};

X11ClientFacts shown() {
  X11ClientFacts f;
  f.window = 0x400001;
  f.viewable = true;
  f.rootX = 100;
  f.rootY = 50;
  f.width = 300;
  f.height = 200;
  f.wmClass = TextProperty{std::string("editor\0Editor\0", 14)};
  return f;
}

std::string noComm(int32_t) {
  return {};
}

TEST(X11Layer, OnlyNormalDialogAndUntypedWindowsAreOnLayerZero) {
  EXPECT_EQ(layerOf(X11WindowType::Unset, false), 0);
  EXPECT_EQ(layerOf(X11WindowType::Normal, false), 0);
  EXPECT_EQ(layerOf(X11WindowType::Dialog, false), 0);
  for (auto t : {X11WindowType::Utility, X11WindowType::Dock, X11WindowType::Toolbar,
                 X11WindowType::Menu, X11WindowType::Splash, X11WindowType::Notification,
                 X11WindowType::PopupMenu, X11WindowType::Tooltip, X11WindowType::Dnd}) {
    EXPECT_NE(layerOf(t, false), 0) << static_cast<int>(t);
  }
  EXPECT_NE(layerOf(X11WindowType::Normal, true), 0);  // override-redirect
}

TEST(X11Decode, DesktopWindowsAreLeftOutEntirely) {
  X11ClientFacts f = shown();
  f.type = X11WindowType::Desktop;
  EXPECT_FALSE(decodeClient(f, kWithWm, noComm));
}

TEST(X11Decode, OnScreenMeansViewableOnTheCurrentDesktopAndInsideTheScreen) {
  X11ClientFacts f = shown();
  EXPECT_TRUE(isOnScreen(f, kWithWm));
  f.viewable = false;
  EXPECT_FALSE(isOnScreen(f, kWithWm));
  f = shown();
  f.desktop = 1;
  EXPECT_FALSE(isOnScreen(f, kWithWm));
  f.desktop = 0;
  EXPECT_TRUE(isOnScreen(f, kWithWm));
  f.desktop = 0xFFFFFFFF;  // sticky
  EXPECT_TRUE(isOnScreen(f, kWithWm));
  for (auto [x, y] : {std::pair{-300, 0}, {1920, 0}, {0, -200}, {0, 1080}}) {
    f = shown();
    f.rootX = x;
    f.rootY = y;
    EXPECT_FALSE(isOnScreen(f, kWithWm)) << x << "," << y;
  }
  f.rootX = 1800;  // partly off-screen still counts
  f.rootY = -150;
  EXPECT_TRUE(isOnScreen(f, kWithWm));
  f = shown();
  f.width = 0;
  EXPECT_FALSE(isOnScreen(f, kWithWm));
}

TEST(X11Decode, WindowManagerStateCountsOnlyWhileAWindowManagerRuns) {
  X11ClientFacts f = shown();
  f.iconic = true;
  EXPECT_FALSE(isOnScreen(f, kWithWm));
  EXPECT_TRUE(isOnScreen(f, kNoWm));
  f = shown();
  f.hidden = true;
  EXPECT_FALSE(isOnScreen(f, kWithWm));
  EXPECT_TRUE(isOnScreen(f, kNoWm));
  f = shown();
  f.desktop = 3;
  EXPECT_TRUE(isOnScreen(f, kNoWm));
}

TEST(X11Decode, TitleIsNetWmNameElseWmNameAlwaysValidUtf8) {
  X11ClientFacts f = shown();
  EXPECT_EQ(titleOf(f), "");
  f.wmName = TextProperty{"caf\xE9"};  // STRING is Latin-1
  EXPECT_EQ(titleOf(f), "café");
  f.wmName->encoding = TextEncoding::Utf8;
  EXPECT_EQ(titleOf(f), "caf\xEF\xBF\xBD");
  f.netWmName = TextProperty{"日本語 a/b\n", TextEncoding::Utf8};
  EXPECT_EQ(titleOf(f), "日本語 a/b\n");
  f.netWmName->bytes = "\xFF\xFEok";
  EXPECT_EQ(titleOf(f), "\xEF\xBF\xBD\xEF\xBF\xBDok");
}

TEST(X11Decode, OwnerIsTheClassElseTheProcessName) {
  X11ClientFacts f = shown();
  f.netWmPid = 77;
  auto comm = [](int32_t pid) { return pid == 77 ? std::string("gedit") : std::string(); };
  EXPECT_EQ(decodeClient(f, kWithWm, comm)->ownerName, "Editor");
  f.wmClass->bytes = std::string("x\0caf\xE9\0", 7);  // STRING is Latin-1 here too
  EXPECT_EQ(decodeClient(f, kWithWm, comm)->ownerName, "café");
  f.wmClass->bytes = "only-instance";  // no terminator: no class part
  EXPECT_EQ(decodeClient(f, kWithWm, comm)->ownerName, "gedit");
  f.wmClass.reset();
  EXPECT_EQ(decodeClient(f, kWithWm, comm)->ownerName, "gedit");
  f.netWmPid.reset();
  EXPECT_EQ(decodeClient(f, kWithWm, comm)->ownerName, "");
}

TEST(X11Decode, PidComesFromXResourceThenNetWmPidAndMustFitInt32) {
  X11ClientFacts f = shown();
  EXPECT_EQ(decodeClient(f, kWithWm, noComm)->ownerPID, 0);
  f.netWmPid = 4242;
  EXPECT_EQ(decodeClient(f, kWithWm, noComm)->ownerPID, 4242);
  f.resPid = 1234;
  EXPECT_EQ(decodeClient(f, kWithWm, noComm)->ownerPID, 1234);
  f.resPid = 0x80000000u;
  EXPECT_EQ(decodeClient(f, kWithWm, noComm)->ownerPID, 4242);
  f.netWmPid = 0xFFFFFFFFu;
  EXPECT_EQ(decodeClient(f, kWithWm, noComm)->ownerPID, 0);
}

TEST(X11Decode, SizeNumberAndLayerOfAnOrdinaryWindow) {
  X11ClientFacts f = shown();
  f.type = X11WindowType::Dialog;
  const auto info = decodeClient(f, kWithWm, noComm);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->layer, 0);
  EXPECT_EQ(info->width, 300.0);
  EXPECT_EQ(info->height, 200.0);
  EXPECT_EQ(info->number, 0x400001u);
  f.type = X11WindowType::Utility;
  EXPECT_NE(decodeClient(f, kWithWm, noComm)->layer, 0);
}

}  // namespace
}  // namespace lorvane
