#include "windows/x11/paint_coverage.h"

#include <gtest/gtest.h>

namespace lorvane {
namespace {

TEST(PaintCoverage, CompleteOnceEveryExposedPixelIsPaintedAgain) {
  PaintCoverage c(100, 50);
  EXPECT_TRUE(c.complete());
  c.expose(10, 10, 30, 20);
  c.expose(20, 20, 30, 20);  // overlapping
  EXPECT_FALSE(c.complete());
  c.paint(10, 10, 30, 20);
  EXPECT_FALSE(c.complete());
  c.paint(20, 20, 29, 20);  // one column short
  EXPECT_FALSE(c.complete());
  c.paint(49, 20, 1, 19);
  EXPECT_FALSE(c.complete());
  c.paint(49, 39, 1, 1);
  EXPECT_TRUE(c.complete());
}

TEST(PaintCoverage, PaintBeforeAnExposureDoesNotCount) {
  PaintCoverage c(10, 10);
  c.paint(0, 0, 10, 10);
  c.expose(0, 0, 10, 10);
  EXPECT_FALSE(c.complete());
}

TEST(PaintCoverage, RectanglesAreClippedToTheWindow) {
  PaintCoverage c(10, 10);
  c.expose(-5, -5, 100, 100);
  EXPECT_FALSE(c.complete());
  c.paint(-20, -20, 25, 40);
  c.paint(5, -3, 32767, 32767);
  EXPECT_TRUE(c.complete());
  c.expose(10, 0, 5, 5);  // wholly outside
  c.expose(0, 0, -4, 5);  // empty
  EXPECT_TRUE(c.complete());
}

}  // namespace
}  // namespace lorvane
