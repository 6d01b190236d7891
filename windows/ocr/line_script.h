#pragma once

#include <string_view>

namespace lorvane {

/// What a line that the Japanese model read calls for.
enum class LineScript {
  kJapanese,  ///< kana or kanji, at least one per kLettersPerKana ASCII letters: keep it
  kLatin,     ///< no kana nor kanji: read it again with the English model
  kUnsure,    ///< a few kana or kanji among many letters: read it in English too, keep the
              ///< more confident reading
};

/// Only kana and kanji make a line Japanese. CJK punctuation ("。", "、", "「"), full-width
/// digits, letters and symbols do not: the Japanese model puts them into English lines (a final
/// "." read as "。"). It also misreads a letter of an English line in a small bitmap font as a
/// kana now and then ("も", "ロ"), so a line with only a few is not taken as Japanese outright.
LineScript lineScript(std::string_view utf8);

/// Below one kana or kanji per this many ASCII letters a line is kUnsure. Mixed lines read
/// as Japanese hold far more ("Python と C++ の両方でテストを書いています。": 7 letters, 15).
inline constexpr int kLettersPerKana = 4;

}  // namespace lorvane
