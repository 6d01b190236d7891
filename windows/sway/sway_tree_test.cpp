#include "windows/sway/sway_tree.h"

#include <gtest/gtest.h>

#include <limits>

#include <nlohmann/json.hpp>

namespace lorvane {
namespace {

using Json = nlohmann::json;

Json rect(int x, int y, int w, int h) {
  return {{"x", x}, {"y", y}, {"width", w}, {"height", h}};
}

// A window as sway 1.7 writes it: a 25-pixel title bar above `rect`, 2-pixel borders.
Json view(int id, const char* app, int pid, Json frame, bool visible = true) {
  return {
      {"id", id},
      {"type", "con"},
      {"name", std::string(app) + " title"},
      {"app_id", app},
      {"pid", pid},
      {"shell", "xdg_shell"},
      {"visible", visible},
      {"rect", frame},
      {"deco_rect", rect(0, 0, frame["width"], 25)},
      {"window_rect", rect(2, 0, frame["width"].get<int>() - 4, frame["height"].get<int>() - 2)},
      {"fullscreen_mode", 0},
      {"nodes", Json::array()},
      {"floating_nodes", Json::array()},
      {"focus", Json::array()}};
}

Json container(int id, Json nodes, Json focus) {
  return {{"id", id},
          {"type", "con"},
          {"nodes", nodes},
          {"focus", focus},
          {"floating_nodes", Json::array()},
          {"rect", rect(0, 0, 1280, 800)}};
}

Json workspace(int id, Json nodes, Json floating, Json focus) {
  return {{"id", id},       {"type", "workspace"},        {"name", std::to_string(id)},
          {"nodes", nodes}, {"floating_nodes", floating}, {"focus", focus}};
}

Json output(int id, const char* name, Json frame, Json workspaces, Json focus) {
  return {{"id", id},     {"type", "output"},    {"name", name},  {"rect", frame},
          {"scale", 1.0}, {"nodes", workspaces}, {"focus", focus}};
}

Json root(Json outputs, Json focus) {
  return {{"id", 1}, {"type", "root"}, {"name", "root"}, {"nodes", outputs}, {"focus", focus}};
}

std::vector<uint32_t> ids(const Json& tree) {
  const auto parsed = parseSwayTree(tree.dump());
  EXPECT_TRUE(parsed.ok()) << parsed.error();
  std::vector<uint32_t> out;
  if (parsed.ok()) {
    for (const auto& w : parsed.value()) out.push_back(w.conId);
  }
  return out;
}

TEST(SwayTree, ReadsNativeAndXwaylandWindows) {
  Json xterm = view(11, "", 4321, rect(640, 25, 640, 775));
  xterm["shell"] = "xwayland";
  xterm["app_id"] = nullptr;
  xterm["window"] = 4194316;
  xterm["window_properties"] = {{"class", "XTerm"}, {"instance", "xterm"}};
  xterm["name"] = nullptr;
  const Json tree =
      root({output(3, "HEADLESS-1", rect(0, 0, 1280, 800),
                   {workspace(4, {view(10, "foot", 1234, rect(0, 25, 640, 775)), xterm},
                              Json::array(), {10, 11})},
                   {4})},
           {3});
  const auto parsed = parseSwayTree(tree.dump());
  ASSERT_TRUE(parsed.ok()) << parsed.error();
  ASSERT_EQ(parsed.value().size(), 2u);
  const SwayWindow& foot = parsed.value()[0];
  EXPECT_EQ(foot.conId, 10u);
  EXPECT_EQ(foot.pid, 1234);
  EXPECT_EQ(foot.app, "foot");
  EXPECT_EQ(foot.title, "foot title");
  EXPECT_FALSE(foot.x11Window);
  EXPECT_EQ(foot.output, "HEADLESS-1");
  // The client area sits inside the borders; the frame takes in the title bar above.
  EXPECT_EQ((std::vector<int64_t>{foot.content.x, foot.content.y, foot.content.width,
                                  foot.content.height}),
            (std::vector<int64_t>{2, 25, 636, 773}));
  EXPECT_EQ((std::vector<int64_t>{foot.frame.x, foot.frame.y, foot.frame.width, foot.frame.height}),
            (std::vector<int64_t>{0, 0, 640, 800}));
  const SwayWindow& x = parsed.value()[1];
  EXPECT_EQ(x.app, "XTerm");  // the X11 class, not the (absent) app_id
  EXPECT_EQ(x.x11Window, 4194316u);
  EXPECT_FALSE(x.hasTitle);
  EXPECT_EQ(x.title, "");
}

TEST(SwayTree, FloatingAboveTiledAndTiledInFocusOrder) {
  // Tiled: a split holding 21 and 22 (22 focused last inside it), and 23, focused most
  // recently of all. Floating: 31 drawn below 32 (the later one is on top).
  const Json split = container(
      20, {view(21, "a", 1, rect(0, 25, 320, 775)), view(22, "b", 2, rect(320, 25, 320, 775))},
      {22, 21});
  const Json ws = workspace(
      4, {split, view(23, "c", 3, rect(640, 25, 640, 775))},
      {view(31, "d", 4, rect(100, 100, 300, 300)), view(32, "e", 5, rect(200, 200, 300, 300))},
      {23, 32, 20, 31});
  const Json tree = root({output(3, "HEADLESS-1", rect(0, 0, 1280, 800), {ws}, {4})}, {3});
  EXPECT_EQ(ids(tree), (std::vector<uint32_t>{32, 31, 23, 22, 21}));
}

TEST(SwayTree, FocusedOutputFirstAndFullscreenOnTop) {
  Json full = view(41, "full", 6, rect(1280, 0, 800, 600));
  full["fullscreen_mode"] = 1;
  const Json left =
      output(3, "LEFT", rect(0, 0, 1280, 800),
             {workspace(4, {view(10, "a", 1, rect(0, 25, 1280, 775))}, Json::array(), {10})}, {4});
  const Json right =
      output(5, "RIGHT", rect(1280, 0, 800, 600),
             {workspace(6, {view(40, "b", 2, rect(1280, 25, 800, 575)), full},
                        {view(42, "c", 3, rect(1300, 100, 300, 200))}, {40, 42, 41})},
             {6});
  EXPECT_EQ(ids(root({left, right}, {5, 3})), (std::vector<uint32_t>{41, 42, 40, 10}));
  const auto parsed = parseSwayTree(root({left, right}, {5, 3}).dump());
  ASSERT_TRUE(parsed.ok());
  EXPECT_EQ(parsed.value()[0].output, "RIGHT");
  EXPECT_EQ(parsed.value()[0].outputRect.x, 1280);
}

TEST(SwayTree, WindowsNotShownAreLeftOut) {
  // Another workspace, a tab behind the shown one, and the scratchpad: sway marks all three
  // not visible.
  const Json shown = workspace(
      4,
      {view(10, "a", 1, rect(0, 25, 1280, 775)), view(11, "tab", 2, rect(0, 25, 1280, 775), false)},
      Json::array(), {10, 11});
  const Json hidden =
      workspace(5, {view(12, "b", 3, rect(0, 25, 1280, 775), false)}, Json::array(), {12});
  const Json scratch = output(
      2147483647, "__i3", rect(0, 0, 1280, 800),
      {workspace(6, Json::array(), {view(13, "c", 4, rect(0, 0, 500, 500), false)}, {13})}, {6});
  const Json tree =
      root({scratch, output(3, "HEADLESS-1", rect(0, 0, 1280, 800), {shown, hidden}, {4, 5})},
           {3, 2147483647});
  EXPECT_EQ(ids(tree), (std::vector<uint32_t>{10}));
}

TEST(SwayTree, AMalformedTreeFailsAndOddFieldsTakeDefaults) {
  EXPECT_EQ(parseSwayTree("{\"type\":").error(), "sway: get_tree gave no JSON");
  EXPECT_EQ(parseSwayTree("[]").error(), "sway: get_tree gave no tree");
  Json odd = view(10, "a", 1, rect(0, 25, 640, 775));
  odd["pid"] = "1234";
  odd["app_id"] = 7;
  odd["window_rect"] = "wide";
  odd["rect"]["x"] = std::numeric_limits<int64_t>::max();  // no layout is that wide
  Json noId = view(11, "b", 2, rect(640, 25, 640, 775));
  noId.erase("id");
  const Json tree =
      root({output(3, "HEADLESS-1", rect(0, 0, 1280, 800),
                   {workspace(4, {odd, noId, "junk"}, Json::array(), {11, 10})}, {4})},
           {3});
  const auto parsed = parseSwayTree(tree.dump());
  ASSERT_TRUE(parsed.ok());
  ASSERT_EQ(parsed.value().size(), 1u);  // a window without an id cannot be asked for
  EXPECT_EQ(parsed.value()[0].pid, 0);
  EXPECT_EQ(parsed.value()[0].app, "");
  EXPECT_EQ(parsed.value()[0].content.width, 0);
  EXPECT_EQ(parsed.value()[0].content.x, int64_t{1} << 31);
}

}  // namespace
}  // namespace lorvane
