#include "windows/window_listing.h"

#include <gtest/gtest.h>

namespace lorvane {
namespace {

WindowInfo window(std::optional<int64_t> layer, std::string owner, std::string title) {
  WindowInfo w;
  w.layer = layer;
  w.ownerName = std::move(owner);
  w.title = std::move(title);
  return w;
}

TEST(WindowListReply, NoWindowsGiveTheEmptyArray) {
  EXPECT_EQ(toJson(windowListReply({})), "[]");
}

TEST(WindowListReply, OnlyLayerZeroWindowsWithAnOwnerNameAreListedInOrder) {
  const std::vector<WindowInfo> list = {
      window(0, "Editor", "notes"),  window(std::nullopt, "NoLayer", "x"),
      window(20, "Dock", "panel"),   window(-1, "Below", "y"),
      window(0, "", "orphan title"), window(0, "Term", ""),
      window(0, "Editor", "notes"),
  };
  EXPECT_EQ(toJson(windowListReply(list)),
            R"([{"app":"Editor","title":"notes"},{"app":"Term","title":""},)"
            R"({"app":"Editor","title":"notes"}])");
}

TEST(WindowListReply, TitlesAreEscapedAndTheReplyIsOneLine) {
  const std::string json = toJson(windowListReply({
      window(0, "Files", "home/user"),
      window(0, "Notes", "first\nsecond"),
      window(0, "端末", "日本語のタイトル"),
      window(0, "Raw", "bad \xFF byte"),
  }));
  EXPECT_EQ(json,
            R"([{"app":"Files","title":"home\/user"},{"app":"Notes","title":"first\nsecond"},)"
            R"({"app":"端末","title":"日本語のタイトル"},{"app":"Raw","title":"bad )"
            "\xEF\xBF\xBD"
            R"( byte"}])");
  EXPECT_EQ(json.find('\n'), std::string::npos);
}

}  // namespace
}  // namespace lorvane
