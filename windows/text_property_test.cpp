// Text properties as X11 clients store them, each kind of piece once.
#include "windows/text_property.h"

#include <gtest/gtest.h>

namespace lorvane {
namespace {

struct Case {
  const char* what;
  std::string_view bytes;
  TextEncoding encoding;
  bool cut;
  std::string_view text;
};

constexpr TextEncoding kUtf8 = TextEncoding::Utf8, kLatin1 = TextEncoding::Latin1,
                       kCt = TextEncoding::CompoundText;

const Case kCases[] = {
    {"UTF-8", "日本", kUtf8, false, "日本"},
    {"invalid UTF-8", "a\xFF", kUtf8, false, "a\uFFFD"},
    {"UTF-8 cut inside a character", "日本\xE8\xAA", kUtf8, true, "日本"},
    {"UTF-8 ending short, not cut", "日\xE8\xAA", kUtf8, false, "日\uFFFD"},
    {"STRING is Latin-1", "caf\xE9", kLatin1, false, "café"},
    {"CT: Latin-1 right half from the start", "caf\xE9", kCt, false, "café"},
    {"CT: JIS X 0208 in GL, as xterm writes it", "\x1B$(B2q5D%a%b", kCt, false, "会議メモ"},
    {"CT: JIS X 0208 in GR, then back to ASCII", "\x1B$)B\xB2\xF1\x1B(B!", kCt, false, "会!"},
    {"CT: GB 2312", "\x1B$)A\xD6\xD0\xCE\xC4", kCt, false, "中文"},
    {"CT: KS C 5601", "\x1B$(CGQ", kCt, false, "한"},
    {"CT: JIS X 0201 katakana and Roman", "\x1B)I\xB1\x1B(J\\~", kCt, false, "ｱ¥‾"},
    {"CT: ISO 8859-7 and -5 right halves", "\x1B-F\xE1\x1B-L\xD0", kCt, false, "αа"},
    {"CT: Latin-1, Japanese and Chinese mixed", "\xE9\x1B$)B\xC6\xFC\x1B$)A\xD6\xD0", kCt, false,
     "é日中"},
    {"CT: UTF-8 segment", "a\x1B%G\xE2\x82\xAC\x1B%@b", kCt, false, "a€b"},
    {"CT: extended segment (KOI8-R)", "\x1B%/1\x80\x88koi8-r\x02\xC1", kCt, false, "а"},
    {"CT: extended segment of an unknown encoding", "\x1B%/1\x80\x85xyz\x02z", kCt, false,
     "\uFFFD"},
    {"CT: unknown double-byte set", "\x1B$(Z!!a", kCt, false, "\uFFFD\uFFFD"},
    {"CT: character undefined in its set", "\x1B$(B\x7E\x7E", kCt, false, "\uFFFD"},
    {"CT: direction markers carry no text",
     "\x9B"
     "1]ab\x9B]",
     kCt, false, "ab"},
    {"CT: C1 control", "a\x85", kCt, false, "a\uFFFD"},
    {"CT: unknown escape", "a\x1B~b", kCt, false, "a\uFFFDb"},
    {"CT: escape split by the end", "ab\x1B$", kCt, false, "ab\uFFFD"},
    {"CT: escape split by a cut", "ab\x1B$", kCt, true, "ab"},
    {"CT: character split by a cut", "\x1B$(B2q5", kCt, true, "会"},
    {"CT: character split by the end", "\x1B$(B2q5", kCt, false, "会\uFFFD"},
    {"CT: UTF-8 segment split by a cut", "\x1B%G\xE2\x82\xAC\xE2\x82", kCt, true, "€"},
};

TEST(TextProperty, DecodesEachKindOfPiece) {
  for (const Case& c : kCases) {
    EXPECT_EQ(decodeText(c.bytes, c.encoding, c.cut), c.text) << c.what;
  }
}

}  // namespace
}  // namespace lorvane
