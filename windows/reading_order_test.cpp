#include "windows/reading_order.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace lorvane {
namespace {

// A line whose vertical middle is `mid` (zero height) and whose left edge is `left`.
TextObservation at(double mid, double left, std::optional<std::string> text = "x") {
  return TextObservation{{left, mid, 0.1, 0.0}, std::move(text)};
}

TEST(ReadingOrder, ToleranceIsOneHundredthOfTheHeightInclusive) {
  // A difference of exactly 0.01: one line, ordered by left edge.
  EXPECT_TRUE(readingOrder(at(0.01, 0.1), at(0.0, 0.5)));
  EXPECT_FALSE(readingOrder(at(0.0, 0.5), at(0.01, 0.1)));
  EXPECT_TRUE(readingOrder(at(0.0, 0.1), at(0.01, 0.5)));
  // 0.0101 apart: the higher first, whatever the left edges.
  EXPECT_TRUE(readingOrder(at(0.0101, 0.9), at(0.0, 0.1)));
  EXPECT_FALSE(readingOrder(at(0.0, 0.1), at(0.0101, 0.9)));
  // 0.51 - 0.50 is slightly more than 0.01 as doubles: two lines.
  EXPECT_TRUE(readingOrder(at(0.51, 0.9), at(0.50, 0.1)));
  EXPECT_FALSE(readingOrder(at(0.50, 0.1), at(0.51, 0.9)));
}

TEST(ReadingOrder, MiddlesAndEdgesComeFromTheWholeBox) {
  // midY = y + height / 2: 0.2 + 0.3 / 2 = 0.35 against 0.1 + 0.1 / 2 = 0.15.
  const TextObservation tall{{0.5, 0.2, 0.1, 0.3}, "a"};
  const TextObservation low{{0.0, 0.1, 0.1, 0.1}, "b"};
  EXPECT_TRUE(readingOrder(tall, low));
  // A negative width: the left edge is x + width.
  const TextObservation mirrored{{0.5, 0.4, -0.45, 0.0}, "c"};
  EXPECT_TRUE(readingOrder(mirrored, at(0.4, 0.1)));
  EXPECT_FALSE(readingOrder(at(0.4, 0.1), mirrored));
}

TEST(ReadingOrder, NaNMiddlesCountAsOneLineAndEqualEdgesAsNeither) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(readingOrder(at(nan, 0.1), at(0.9, 0.2)));
  EXPECT_FALSE(readingOrder(at(0.9, 0.2), at(nan, 0.1)));
  EXPECT_FALSE(readingOrder(at(0.3, 0.2), at(0.3, 0.2)));
}

TEST(AssembleText, ReadsTopToBottomThenLeftToRight) {
  EXPECT_EQ(assembleText({at(0.2, 0.1, "third"), at(0.8, 0.6, "second"), at(0.805, 0.1, "first")}),
            "first\nsecond\nthird");
}

TEST(AssembleText, EqualPositionsKeepTheRecognizersOrder) {
  EXPECT_EQ(assembleText({at(0.5, 0.2, "a"), at(0.5, 0.2, "b"), at(0.5, 0.2, "c")}), "a\nb\nc");
}

TEST(AssembleText, MissingCandidatesAddNoLineEmptyOnesDo) {
  EXPECT_EQ(assembleText({}), "");
  EXPECT_EQ(assembleText({at(0.5, 0.1, "only")}), "only");
  EXPECT_EQ(assembleText({at(0.9, 0.1, std::nullopt)}), "");
  EXPECT_EQ(assembleText({at(0.9, 0.1, "a"), at(0.5, 0.1, std::nullopt), at(0.1, 0.1, "b")}),
            "a\nb");
  EXPECT_EQ(assembleText({at(0.9, 0.1, "a"), at(0.5, 0.1, ""), at(0.1, 0.1, "b")}), "a\n\nb");
}

TEST(AssembleText, NonTransitiveChainKeepsEveryLine) {
  // 0.500/0.508 and 0.508/0.516 are one line each, 0.500/0.516 two lines.
  // Each neighbour comes before the previous one, so the whole input is one strictly
  // descending run, which the sort reverses.
  EXPECT_EQ(assembleText({at(0.500, 0.3, "p"), at(0.508, 0.2, "q"), at(0.516, 0.1, "r")}),
            "r\nq\np");
  // Here the outer two are ordered against the recognizer's order, the neighbours not at all.
  EXPECT_EQ(assembleText({at(0.500, 0.1, "p"), at(0.508, 0.1, "q"), at(0.516, 0.1, "r")}),
            "p\nq\nr");
}

}  // namespace
}  // namespace lorvane
