#pragma once

#include <string>
#include <string_view>

// A second, deliberately plain reading of UTF-8 to check the helper's output against:
// code point by code point, by the ranges of the Unicode standard's table of well-formed
// byte sequences.
namespace fuzz {

bool isValidUtf8(std::string_view s);

// Decodes the one JSON string literal that starts at s[pos] (which must be '"'), advancing
// pos past it. Fails on anything JSON does not allow in a string: raw control characters,
// unknown escapes, lone surrogates.
bool decodeJsonString(std::string_view s, size_t& pos, std::string& out);

}  // namespace fuzz
