#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace lorvane {

/// The only JSON shapes this program writes: objects whose members are strings, and arrays
/// of such objects. Members keep the order they were added in.
struct JsonObject {
  std::vector<std::pair<std::string, std::string>> members;
};
using JsonArray = std::vector<JsonObject>;
using JsonValue = std::variant<JsonObject, JsonArray>;

/// Replaces every ill-formed UTF-8 sequence with U+FFFD (one per maximal ill-formed subpart),
/// so that bytes from the system always make valid JSON.
std::string sanitizeUtf8(std::string_view bytes);

/// Appends a JSON string literal: raw UTF-8, with '"', '\\' and '/' escaped and every
/// control character escaped.
void appendJsonString(std::string& out, std::string_view text);

/// Appends one code point as UTF-8.
void appendUtf8(std::string& out, uint32_t cp);

/// The compact document: no whitespace, one line.
std::string toJson(const JsonValue& value);

/// {"error": text}
JsonObject errorReply(std::string text);

}  // namespace lorvane
