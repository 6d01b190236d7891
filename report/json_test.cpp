#include "report/json.h"

#include <gtest/gtest.h>

namespace lorvane {
namespace {

std::string jsonQuoted(std::string_view text) {
  std::string out;
  appendJsonString(out, text);
  return out;
}

TEST(JsonString, EscapesQuoteBackslashAndSolidus) {
  EXPECT_EQ(jsonQuoted(R"(a"b\c/d)"), R"("a\"b\\c\/d")");
}

TEST(JsonString, EscapesEveryControlCharacter) {
  EXPECT_EQ(jsonQuoted("\n\r\t\b\f"), R"("\n\r\t\b\f")");
  EXPECT_EQ(jsonQuoted(std::string("\x00\x01\x1f\x7f", 4)), R"("\u0000\u0001\u001f\u007f")");
}

TEST(JsonString, WritesNonAsciiAsRawUtf8) {
  EXPECT_EQ(jsonQuoted("会議メモ é 🎤"), "\"会議メモ é 🎤\"");
}

TEST(Utf8, ReplacesEachMaximalInvalidSubpart) {
  const std::string fffd = "\xEF\xBF\xBD";
  EXPECT_EQ(sanitizeUtf8("\xFF\xFE"), fffd + fffd);
  EXPECT_EQ(sanitizeUtf8("a\x80z"), "a" + fffd + "z");
  // A truncated three-byte sequence is one replacement, and the byte that broke it survives.
  EXPECT_EQ(sanitizeUtf8("\xE3\x81"
                         "A"),
            fffd + "A");
  EXPECT_EQ(sanitizeUtf8("\xE3\x81"), fffd);
  // Overlong forms, surrogates and code points above U+10FFFF are not UTF-8.
  EXPECT_EQ(sanitizeUtf8("\xC0\xAF"), fffd + fffd);
  EXPECT_EQ(sanitizeUtf8("\xED\xA0\x80"), fffd + fffd + fffd);
  EXPECT_EQ(sanitizeUtf8("\xF4\x90\x80\x80"), fffd + fffd + fffd + fffd);
  EXPECT_EQ(sanitizeUtf8("\xF0\x9F\x8E\xA4"), "\xF0\x9F\x8E\xA4");
}

TEST(JsonDocument, IsCompactAndKeepsMemberOrder) {
  JsonArray windows{JsonObject{{{"app", "Term"}, {"title", ""}}},
                    JsonObject{{{"app", "Notes"}, {"title", "x"}}}};
  EXPECT_EQ(toJson(windows), R"([{"app":"Term","title":""},{"app":"Notes","title":"x"}])");
  EXPECT_EQ(toJson(JsonArray{}), "[]");
  EXPECT_EQ(toJson(errorReply("screen-access")), R"({"error":"screen-access"})");
}

TEST(JsonDocument, MixedTitleStaysOneValidLine) {
  const std::string title = std::string("a/b\n日本語") + "\xFF\xFE";
  const std::string json = toJson(JsonObject{{{"title", title}}});
  EXPECT_EQ(json, "{\"title\":\"a\\/b\\n日本語\xEF\xBF\xBD\xEF\xBF\xBD\"}");
  EXPECT_EQ(json.find('\n'), std::string::npos);
}

}  // namespace
}  // namespace lorvane
