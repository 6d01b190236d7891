#pragma once

#include <string>
#include <string_view>

namespace lorvane {

/// COMPOUND_TEXT to UTF-8: ISO 2022 with G0 always in GL and G1 always in GR, starting from
/// ASCII and the Latin-1 right half. Understood: ASCII, JIS X 0201 (Roman and katakana), the
/// ISO 8859 right halves, JIS X 0208, JIS X 0212, GB 2312, KS C 5601, CNS 11643 planes 1
/// and 2, UTF-8 segments (ESC % G ... ESC % @) and the extended segments libX11 writes for
/// KOI8, Big5 and GBK. Direction markers are dropped; every other unknown or malformed piece
/// becomes U+FFFD. The multi-byte sets are converted by the C library's iconv, opened only
/// when such a set occurs. With `cut`, a character or escape that the end of the bytes
/// split is left out.
std::string decodeCompoundText(std::string_view bytes, bool cut);

}  // namespace lorvane
