#include "windows/ocr/line_script.h"

#include <cstdint>

namespace lorvane {
namespace {

bool kanaOrKanji(uint32_t cp) {
  return (cp >= 0x3005 && cp <= 0x3007) ||    // 々 〆 〇
         (cp >= 0x3041 && cp <= 0x309F) ||    // hiragana
         (cp >= 0x30A1 && cp <= 0x30FA) ||    // katakana (not the middle dot "・")
         (cp >= 0x30FC && cp <= 0x30FF) ||    // ー and the iteration marks
         (cp >= 0x31F0 && cp <= 0x31FF) ||    // small katakana for Ainu
         (cp >= 0x3400 && cp <= 0x4DBF) ||    // kanji, extension A
         (cp >= 0x4E00 && cp <= 0x9FFF) ||    // kanji
         (cp >= 0xF900 && cp <= 0xFAFF) ||    // compatibility kanji
         (cp >= 0xFF66 && cp <= 0xFF9F) ||    // half-width katakana
         (cp >= 0x1B000 && cp <= 0x1B16F) ||  // historic kana
         (cp >= 0x20000 && cp <= 0x3FFFF);    // kanji, extensions B and later
}

}  // namespace

LineScript lineScript(std::string_view utf8) {
  int kana = 0, letters = 0;
  size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (length == 1 || i + length > utf8.size()) {
      // ASCII, or a stray or truncated byte (no kana nor kanji either way).
      letters += (lead | 0x20) >= 'a' && (lead | 0x20) <= 'z';
      ++i;
      continue;
    }
    uint32_t cp = lead & (0x7F >> length);
    size_t k = 1;
    for (; k < length && (static_cast<unsigned char>(utf8[i + k]) & 0xC0) == 0x80; ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    }
    kana += k == length && kanaOrKanji(cp);
    i += k;
  }
  if (kana == 0) return LineScript::kLatin;
  return kana * kLettersPerKana < letters ? LineScript::kUnsure : LineScript::kJapanese;
}

}  // namespace lorvane
