#include "windows/ocr_target.h"

#include <gtest/gtest.h>

#include <limits>

namespace lorvane {
namespace {

std::set<int32_t> pidsOf(std::vector<const char*> argv, int32_t parent = 77) {
  return excludedPIDs(ArgList(argv.data(), argv.size()), parent);
}

TEST(ExcludedPIDs, ParentPlusEveryValidElementIncludingTheFirst) {
  EXPECT_EQ(pidsOf({"lorvane-tap", "--ocr"}), (std::set<int32_t>{77}));
  EXPECT_EQ(pidsOf({"--exclude-pid=5", "--ocr", "--exclude-pid=-9", "--exclude-pid=5",
                    "--exclude-pid=abc", "--exclude-pid=", "--exclude-pid=77"}),
            (std::set<int32_t>{-9, 5, 77}));
  EXPECT_EQ(pidsOf({"x", "--exclude-pid=0"}, 1), (std::set<int32_t>{0, 1}));
}

WindowInfo window(uint32_t number, int32_t pid, double w = 640, double h = 480) {
  WindowInfo info;
  info.layer = 0;
  info.ownerName = "app";
  info.ownerPID = pid;
  info.width = w;
  info.height = h;
  info.number = number;
  return info;
}

TEST(SelectOcrWindow, SizesAreStrictAndNaNNeverFits) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::set<int32_t> none{-1};
  EXPECT_EQ(
      selectOcrWindow(
          {window(1, 5, 200.0, 500), window(2, 5, 500, 120.0), window(3, 5, 200.5, 120.5)}, none),
      3u);
  EXPECT_EQ(selectOcrWindow({window(1, 5, nan, 500), window(2, 5, 500, nan)}, none), 0u);
  WindowInfo noHeight = window(4, 5);
  noHeight.height.reset();
  WindowInfo noWidth = window(5, 5);
  noWidth.width.reset();
  EXPECT_EQ(selectOcrWindow({noHeight, noWidth, window(6, 5)}, none), 6u);
}

TEST(SelectOcrWindow, LayerAndOwnerTests) {
  WindowInfo noLayer = window(1, 5);
  noLayer.layer.reset();
  WindowInfo panel = window(2, 5);
  panel.layer = 8;
  EXPECT_EQ(selectOcrWindow({noLayer, panel, window(3, 5)}, {99}), 3u);
  // Excluded owners, the parent's among them, are passed over.
  EXPECT_EQ(selectOcrWindow({window(1, 99), window(2, 42), window(3, 5)}, {99, 42}), 3u);
  // An unknown owner is PID 0 and only left out when 0 is excluded.
  EXPECT_EQ(selectOcrWindow({window(1, 0), window(2, 5)}, {99}), 1u);
  EXPECT_EQ(selectOcrWindow({window(1, 0), window(2, 5)}, {0, 99}), 2u);
}

TEST(SelectOcrWindow, FirstQualifyingWindowDecidesEvenWithoutANumber) {
  EXPECT_EQ(selectOcrWindow({window(0, 5), window(9, 6)}, {1}), 0u);
  EXPECT_EQ(selectOcrWindow({}, {1}), 0u);
  EXPECT_EQ(selectOcrWindow({window(7, 1, 100, 100)}, {1}), 0u);
}

}  // namespace
}  // namespace lorvane
