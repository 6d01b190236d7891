#include "report/status_line.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace lorvane {
namespace {

TEST(FormatRate, WholeRatesKeepOneDecimal) {
  EXPECT_EQ(formatRate(16000), "16000.0");
  EXPECT_EQ(formatRate(48000), "48000.0");
  EXPECT_EQ(formatRate(0), "0.0");
}

TEST(FormatRate, ShortestDigitsThatReadBack) {
  EXPECT_EQ(formatRate(44100.5), "44100.5");
  EXPECT_EQ(formatRate(0.1), "0.1");
  EXPECT_EQ(formatRate(22050.123456789), "22050.123456789");
  for (double rate : {8000.0 / 3, 1e-7, 96000.000001, 1e22}) {
    const std::string text = formatRate(rate);
    EXPECT_EQ(std::stod(text), rate) << text;
    EXPECT_EQ(text.find_first_of("eE"), std::string::npos) << text;
  }
}

TEST(FormatRate, NonFiniteValuesDoNotCrash) {
  EXPECT_EQ(formatRate(std::numeric_limits<double>::quiet_NaN()), "nan");
  EXPECT_EQ(formatRate(-std::numeric_limits<double>::infinity()), "-inf");
}

TEST(StatusLines, NumbersAsTheParentParsesThem) {
  EXPECT_EQ(propErrorLine(1952869748, -50), "prop error 1952869748 -50");
  EXPECT_EQ(propErrorLine(1934587252, 2147483647), "prop error 1934587252 2147483647");
  EXPECT_EQ(formatLine(48000, 2, 41), "format sr=48000.0 ch=2 flags=41");
  EXPECT_EQ(formatLine(0, 0, 0), "format sr=0.0 ch=0 flags=0");
  EXPECT_EQ(formatLine(44100.5, 4294967295u, 0), "format sr=44100.5 ch=4294967295 flags=0");
}

}  // namespace
}  // namespace lorvane
