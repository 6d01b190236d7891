#include "windows/line_script.h"

#include <gtest/gtest.h>

namespace lorvane {
namespace {

TEST(LineScript, KanaOrKanjiMakeALineJapanese) {
  EXPECT_TRUE(hasKanaOrKanji("\xe3\x81\x82"));              // あ
  EXPECT_TRUE(hasKanaOrKanji("Python \xe3\x81\xa8 C++"));   // と
  EXPECT_TRUE(hasKanaOrKanji("\xe6\x9d\xb1\xe4\xba\xac"));  // 東京
  EXPECT_TRUE(hasKanaOrKanji("\xe3\x83\xbc"));              // ー
  EXPECT_TRUE(hasKanaOrKanji("\xef\xbd\xb1"));              // ｱ half-width
  EXPECT_TRUE(hasKanaOrKanji("\xe3\x80\x87"));              // 〇
  EXPECT_TRUE(hasKanaOrKanji("x \xf0\xa0\x80\x8b"));        // U+2000B
  EXPECT_TRUE(hasKanaOrKanji("\xe9\xbe\xa5\xe3\x80\x82"));  // 龥。
}

TEST(LineScript, PunctuationAndFullWidthFormsAloneDoNot) {
  EXPECT_FALSE(hasKanaOrKanji("Version 2.14 fixes the crash (bring the draft)."));
  EXPECT_FALSE(hasKanaOrKanji("caf\xc3\xa9 \xe2\x80\x94 na\xc3\xafve"));   // é, em dash, ï
  EXPECT_FALSE(hasKanaOrKanji("Friday at 10:30\xe3\x80\x82"));             // 。
  EXPECT_FALSE(hasKanaOrKanji("\xe3\x80\x8cOK\xe3\x80\x8d\xe3\x80\x81"));  // 「OK」、
  EXPECT_FALSE(hasKanaOrKanji("\xef\xbc\xa1\xef\xbc\x91\xef\xbc\x85"));    // Ａ１％ full-width
  EXPECT_FALSE(hasKanaOrKanji("\xe3\x83\xbb"));                            // ・
  EXPECT_FALSE(hasKanaOrKanji("\xe3\x81"));                                // truncated あ
  EXPECT_FALSE(hasKanaOrKanji("\xe3\x41\x82"));                            // broken sequence
  EXPECT_FALSE(hasKanaOrKanji("\xef\xbf\xbd"));                            // U+FFFD
}

}  // namespace
}  // namespace lorvane
