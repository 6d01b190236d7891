#pragma once

#include <string>
#include <string_view>

namespace lorvane {

/// How the bytes of an X11 text property are encoded, as told by the property's type.
enum class TextEncoding {
  Utf8,          // UTF8_STRING
  Latin1,        // STRING (ISO 8859-1 by ICCCM), and types we do not know
  CompoundText,  // COMPOUND_TEXT: ISO 2022 as X11 writes it (see compound_text.h)
};

/// A text property as read from the server, undecoded.
struct TextProperty {
  std::string bytes;
  TextEncoding encoding = TextEncoding::Latin1;
  bool cut = false;  // only the first part of a longer property was read
};

/// The property's text as valid UTF-8; anything undecodable becomes U+FFFD. Of a cut property,
/// a character that the cut split is left out rather than replaced. Pure: no X server needed.
std::string decodeText(std::string_view bytes, TextEncoding encoding, bool cut = false);
inline std::string decodeText(const TextProperty& p) {
  return decodeText(p.bytes, p.encoding, p.cut);
}

/// The length of `utf8` without a multi-byte sequence that is missing bytes at its very end.
size_t withoutCutSequence(std::string_view utf8);

}  // namespace lorvane
