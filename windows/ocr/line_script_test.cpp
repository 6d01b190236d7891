#include "windows/ocr/line_script.h"

#include <gtest/gtest.h>

namespace lorvane {
namespace {

TEST(LineScript, KanaOrKanjiMakeALineJapanese) {
  EXPECT_EQ(LineScript::kJapanese, lineScript("\xe3\x81\x82"));              // あ
  EXPECT_EQ(LineScript::kJapanese, lineScript("C++ \xe3\x81\xa8 Go"));       // と
  EXPECT_EQ(LineScript::kJapanese, lineScript("\xe6\x9d\xb1\xe4\xba\xac"));  // 東京
  EXPECT_EQ(LineScript::kJapanese, lineScript("\xe3\x83\xbc"));              // ー
  EXPECT_EQ(LineScript::kJapanese, lineScript("\xef\xbd\xb1"));              // ｱ half-width
  EXPECT_EQ(LineScript::kJapanese, lineScript("\xe3\x80\x87"));              // 〇
  EXPECT_EQ(LineScript::kJapanese, lineScript("x \xf0\xa0\x80\x8b"));        // U+2000B
  EXPECT_EQ(LineScript::kJapanese, lineScript("\xe9\xbe\xa5\xe3\x80\x82"));  // 龥。
}

TEST(LineScript, AFewAmongManyLettersAreUnsure) {
  // xterm's 6x10 font, as the Japanese model read it: one kana among 43 letters.
  EXPECT_EQ(LineScript::kUnsure,
            lineScript("(Quarter1u budlget Fevieu moved \xe3\x82\x82to Fridaug at 10330 in Foom"));
  EXPECT_EQ(LineScript::kUnsure, lineScript("abcde \xe3\x81\x82"));   // 5 letters, あ
  EXPECT_EQ(LineScript::kJapanese, lineScript("abcd \xe3\x81\x82"));  // 4 letters, あ
}

TEST(LineScript, PunctuationAndFullWidthFormsAloneDoNot) {
  EXPECT_EQ(LineScript::kLatin, lineScript("Version 2.14 fixes the crash (bring the draft)."));
  EXPECT_EQ(LineScript::kLatin,
            lineScript("caf\xc3\xa9 \xe2\x80\x94 na\xc3\xafve"));            // é, em dash, ï
  EXPECT_EQ(LineScript::kLatin, lineScript("Friday at 10:30\xe3\x80\x82"));  // 。
  EXPECT_EQ(LineScript::kLatin, lineScript("\xe3\x80\x8cOK\xe3\x80\x8d\xe3\x80\x81"));  // 「OK」、
  EXPECT_EQ(LineScript::kLatin,
            lineScript("\xef\xbc\xa1\xef\xbc\x91\xef\xbc\x85"));  // Ａ１％ full-width
  EXPECT_EQ(LineScript::kLatin, lineScript("\xe3\x83\xbb"));      // ・
  EXPECT_EQ(LineScript::kLatin, lineScript("\xe3\x81"));          // truncated あ
  EXPECT_EQ(LineScript::kLatin, lineScript("\xe3\x41\x82"));      // broken sequence
  EXPECT_EQ(LineScript::kLatin, lineScript("\xef\xbf\xbd"));      // U+FFFD
}

}  // namespace
}  // namespace lorvane
