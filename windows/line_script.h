#pragma once

#include <string_view>

namespace lorvane {

/// True when the UTF-8 text holds kana or a kanji: only such a line is Japanese. CJK
/// punctuation ("。", "、", "「"), full-width digits, letters and symbols do not count, since the
/// Japanese model also puts them into English lines (a final "." read as "。"); a line without
/// kana or kanji is read again with the English model.
bool hasKanaOrKanji(std::string_view utf8);

}  // namespace lorvane
