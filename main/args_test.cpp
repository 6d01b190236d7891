#include "main/args.h"

#include <gtest/gtest.h>

#include <vector>

namespace lorvane {
namespace {

std::optional<int32_t> pid(const std::string& rest) {
  return parseExcludePid("--exclude-pid=" + rest);
}

TEST(ParseExcludePid, AcceptsSignedDecimalWithLeadingZeros) {
  EXPECT_EQ(pid("12"), 12);
  EXPECT_EQ(pid("+12"), 12);
  EXPECT_EQ(pid("007"), 7);
  EXPECT_EQ(pid("-1"), -1);
  EXPECT_EQ(pid("0"), 0);
  EXPECT_EQ(pid("-0"), 0);
  EXPECT_EQ(pid("000000000000000000042"), 42);
}

TEST(ParseExcludePid, ReachesBothEndsOfTheRangeAndNoFurther) {
  EXPECT_EQ(pid("2147483647"), 2147483647);
  EXPECT_EQ(pid("-2147483648"), INT32_MIN);
  EXPECT_EQ(pid("2147483648"), std::nullopt);
  EXPECT_EQ(pid("-2147483649"), std::nullopt);
  EXPECT_EQ(pid("99999999999"), std::nullopt);
  EXPECT_EQ(pid("4294967308"), std::nullopt);  // would wrap to 12 in 32 bits
}

TEST(ParseExcludePid, RejectsAnythingButSignAndDigits) {
  for (const char* bad :
       {"", "+", "-", "12 ", " 12", "1_2", "+-1", "--1", "0x10", "1e3", "١٢", "12\n", "abc"}) {
    EXPECT_EQ(pid(bad), std::nullopt) << '"' << bad << '"';
  }
  EXPECT_EQ(parseExcludePid("--exclude-pid"), std::nullopt);
  EXPECT_EQ(parseExcludePid("--exclude-pid12"), std::nullopt);
  EXPECT_EQ(parseExcludePid("-exclude-pid=12"), std::nullopt);
  EXPECT_EQ(parseExcludePid("--Exclude-Pid=12"), std::nullopt);
}

TEST(HasFlag, MatchesWholeElementsOnly) {
  const std::vector<const char*> argv{"lorvane-tap", "--Windows",  "--windows=1",
                                      "-windows",    "--windows ", "--ocr"};
  EXPECT_FALSE(hasFlag(argv, "--windows"));
  EXPECT_TRUE(hasFlag(argv, "--ocr"));
}

TEST(HasFlag, CountsElementZero) {
  const std::vector<const char*> argv{"--windows"};
  EXPECT_TRUE(hasFlag(argv, "--windows"));
  EXPECT_FALSE(hasFlag(ArgList{}, "--windows"));
}

}  // namespace
}  // namespace lorvane
