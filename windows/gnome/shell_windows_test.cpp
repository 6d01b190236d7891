#include "windows/gnome/shell_windows.h"

#include <gtest/gtest.h>

namespace lorvane {
namespace {

std::string noComm(int32_t) {
  return {};
}

ShellWindow only(const std::string& json) {
  auto windows = parseShellWindows(json);
  EXPECT_TRUE(windows.ok()) << windows.error();
  EXPECT_EQ(windows.value().size(), 1u);
  return windows.value().empty() ? ShellWindow{} : windows.value()[0];
}

TEST(ShellWindows, ReadsEveryMemberInOrder) {
  auto windows = parseShellWindows(
      R"([{"id":7,"pid":4242,"title":"Notes — 日本","class":"org.gnome.TextEditor",
           "appId":"org.gnome.TextEditor.desktop","app":"Text Editor","type":"normal",
           "x11":false,"focus":true,"x":10,"y":20,"width":640.5,"height":480,"scale":2},
          {"id":3,"pid":99,"type":"dialog","x11":true}])");
  ASSERT_TRUE(windows.ok()) << windows.error();
  ASSERT_EQ(windows.value().size(), 2u);
  const ShellWindow& w = windows.value()[0];
  EXPECT_EQ(w.id, 7u);
  EXPECT_EQ(w.pid, 4242);
  EXPECT_EQ(w.title, "Notes — 日本");
  EXPECT_EQ(w.wmClass, "org.gnome.TextEditor");
  EXPECT_EQ(w.appId, "org.gnome.TextEditor.desktop");
  EXPECT_EQ(w.app, "Text Editor");
  EXPECT_FALSE(w.x11);
  EXPECT_TRUE(w.focus);
  EXPECT_EQ(w.width, 640.5);
  EXPECT_EQ(w.height, 480);
  EXPECT_EQ(w.scale, 2);
  EXPECT_EQ(windows.value()[1].id, 3u);
  EXPECT_TRUE(windows.value()[1].x11);
}

TEST(ShellWindows, WrongTypesAndOutOfRangeNumbersKeepDefaults) {
  // A wrapped id would name another window, a wrapped pid another process.
  const ShellWindow w = only(
      R"([{"id":4294967296,"pid":-2147483649,"title":5,"class":null,"x11":"yes",
           "width":"wide","scale":0}])");
  EXPECT_EQ(w.id, 0u);
  EXPECT_EQ(w.pid, 0);
  EXPECT_EQ(w.title, "");
  EXPECT_EQ(w.wmClass, "");
  EXPECT_FALSE(w.x11);
  EXPECT_EQ(w.width, 0);
  EXPECT_EQ(w.scale, 1);
  EXPECT_EQ(only(R"([{"id":1.5,"pid":12.0}])").id, 0u);
}

TEST(ShellWindows, NonObjectEntriesAreLeftOutAndNonArraysRefused) {
  auto windows = parseShellWindows(R"([1,"x",null,{"id":2}])");
  ASSERT_TRUE(windows.ok());
  ASSERT_EQ(windows.value().size(), 1u);
  EXPECT_EQ(windows.value()[0].id, 2u);
  for (const char* bad : {"{}", "", "[", "null", "[{\"id\":1}"}) {
    auto r = parseShellWindows(bad);
    EXPECT_FALSE(r.ok()) << bad;
    EXPECT_NE(r.error().find("GNOME Shell"), std::string::npos);
  }
}

TEST(ShellWindows, OnlyNormalAndDialogWindowsAreOnLayerZero) {
  for (const char* type : {"normal", "dialog", "modal_dialog"}) {
    EXPECT_EQ(layerOfShellType(type), 0) << type;
  }
  for (const char* type : {"utility", "dock", "menu", "tooltip", "override_other", "splash"}) {
    ASSERT_TRUE(layerOfShellType(type)) << type;
    EXPECT_NE(*layerOfShellType(type), 0) << type;
  }
  // A type this build does not know is on no layer, so never taken for an application window.
  EXPECT_FALSE(layerOfShellType("NORMAL"));
  EXPECT_FALSE(layerOfShellType(""));
}

TEST(ShellWindows, DesktopWindowsNeverReachTheListsOrCapture) {
  ShellWindow w;
  w.type = "desktop";
  EXPECT_FALSE(windowInfoOf(w, noComm));
  EXPECT_FALSE(capturableOf(w, noComm));
}

TEST(ShellWindows, OwnerNameIsTheAppThenTheClassThenTheProcess) {
  ShellWindow w;
  w.id = 5;
  w.pid = 77;
  w.type = "normal";
  w.width = 300;
  w.height = 200;
  const CommReader comm = [](int32_t pid) { return pid == 77 ? std::string("zenity") : ""; };
  EXPECT_EQ(windowInfoOf(w, comm)->ownerName, "zenity");
  w.wmClass = "Zenity";
  EXPECT_EQ(windowInfoOf(w, comm)->ownerName, "Zenity");
  w.app = "XTerm";
  const auto info = windowInfoOf(w, comm);
  EXPECT_EQ(info->ownerName, "XTerm");
  EXPECT_EQ(info->ownerPID, 77);
  EXPECT_EQ(info->number, 5u);
  EXPECT_EQ(info->layer, 0);
  EXPECT_EQ(info->width, 300);
  EXPECT_EQ(info->height, 200);
}

TEST(ShellWindows, CapturableWindowCarriesSizeScaleAndNames) {
  ShellWindow w;
  w.id = 9;
  w.type = "normal";
  w.width = 640;
  w.height = 400;
  w.scale = 2;
  auto c = capturableOf(w, noComm);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->windowID, 9u);
  EXPECT_FALSE(c->applicationName);  // nothing known gives "" in the reply
  EXPECT_FALSE(c->title);
  EXPECT_EQ(c->contentWidth, 640);
  EXPECT_EQ(c->pointPixelScale, 2.0f);
  w.title = "Notes";
  w.wmClass = "org.example.Notes";
  c = capturableOf(w, noComm);
  EXPECT_EQ(c->title, "Notes");
  EXPECT_EQ(c->applicationName, "org.example.Notes");
}

}  // namespace
}  // namespace lorvane
