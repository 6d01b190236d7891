#include "windows/text_property.h"

#include "report/json.h"
#include "windows/compound_text.h"

namespace lorvane {
size_t withoutCutSequence(std::string_view utf8) {
  const size_t n = utf8.size();
  // The lead byte of the last sequence is at most three bytes back.
  for (size_t back = 1; back <= 4 && back <= n; ++back) {
    const auto c = static_cast<unsigned char>(utf8[n - back]);
    if ((c & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    return length > back && c < 0xF5 ? n - back : n;
  }
  return n;
}

std::string decodeText(std::string_view bytes, TextEncoding encoding, bool cut) {
  switch (encoding) {
    case TextEncoding::Utf8:
      return sanitizeUtf8(cut ? bytes.substr(0, withoutCutSequence(bytes)) : bytes);
    case TextEncoding::CompoundText:
      return decodeCompoundText(bytes, cut);
    case TextEncoding::Latin1:
      break;
  }
  std::string latin1;  // every byte is a whole character: a cut splits nothing
  for (const char c : bytes) appendUtf8(latin1, static_cast<unsigned char>(c));
  return latin1;
}

}  // namespace lorvane
