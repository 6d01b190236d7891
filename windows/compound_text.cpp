#include "windows/compound_text.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "report/json.h"
#include "windows/text_property.h"

namespace lorvane {
namespace {

constexpr unsigned char kEsc = 0x1B, kCsi = 0x9B, kStx = 0x02;
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

enum class Kind { Ascii, JisRoman, JisKana, Latin1, Iconv, Unknown };

// A character set designated into G0 (invoked into GL) or G1 (GR).
struct Charset {
  Kind kind = Kind::Unknown;
  int width = 1;                    // bytes per character in the text
  const char* iconvName = nullptr;  // Kind::Iconv: the EUC or 8-bit encoding iconv reads
  const char* prefix = "";          // put before each character's EUC form
  bool of96 = false;                // a 96-character set: no space or delete of its own
};

// 94-character sets: ESC ( F into G0, ESC ) F into G1.
Charset set94(unsigned char final) {
  if (final == 'B') return {Kind::Ascii};
  if (final == 'J') return {Kind::JisRoman};
  return {final == 'I' ? Kind::JisKana : Kind::Unknown};
}

// 96-character sets, the right halves of ISO 8859 and TIS 620: ESC - F into G1.
Charset set96(unsigned char final) {
  static constexpr std::pair<unsigned char, const char*> kSets[] = {
      {'B', "ISO-8859-2"},  {'C', "ISO-8859-3"},  {'D', "ISO-8859-4"},  {'F', "ISO-8859-7"},
      {'G', "ISO-8859-6"},  {'H', "ISO-8859-8"},  {'L', "ISO-8859-5"},  {'M', "ISO-8859-9"},
      {'V', "ISO-8859-10"}, {'Y', "ISO-8859-13"}, {'_', "ISO-8859-14"}, {'b', "ISO-8859-15"},
      {'f', "ISO-8859-16"}, {'T', "TIS-620"}};
  if (final == 'A') return {Kind::Latin1, 1, nullptr, "", true};
  for (const auto& [f, name] : kSets) {
    if (f == final) return {Kind::Iconv, 1, name, "", true};
  }
  return {Kind::Unknown, 1, nullptr, "", true};
}

// 94x94 sets: ESC $ ( F (or the short ESC $ F) into G0, ESC $ ) F into G1. iconv reads them
// in their EUC form: both bytes with the high bit set, after a prefix for the supplementary
// sets.
Charset set94x94(unsigned char final) {
  switch (final) {
    case '@':  // JIS C 6226-1978, read as its successor
    case 'B':
      return {Kind::Iconv, 2, "EUC-JP"};
    case 'D':
      return {Kind::Iconv, 2, "EUC-JP", "\x8F"};  // JIS X 0212
    case 'A':
      return {Kind::Iconv, 2, "EUC-CN"};  // GB 2312
    case 'C':
      return {Kind::Iconv, 2, "EUC-KR"};  // KS C 5601
    case 'G':
      return {Kind::Iconv, 2, "EUC-TW"};  // CNS 11643 plane 1
    case 'H':
      return {Kind::Iconv, 2, "EUC-TW", "\x8E\xA2"};  // plane 2
    default:
      return {Kind::Unknown, 2};
  }
}

// The encodings libX11 writes as extended segments (ESC % / F M L name STX bytes).
const char* extendedSegmentEncoding(std::string_view name) {
  static constexpr std::pair<std::string_view, const char*> kNames[] = {
      {"koi8-r", "KOI8-R"},
      {"koi8-u", "KOI8-U"},
      {"armscii-8", "ARMSCII-8"},
      {"tcvn-5712", "TCVN5712-1"},
      {"viscii1.1-1", "VISCII"},
      {"georgian-academy", "GEORGIAN-ACADEMY"},
      {"georgian-ps", "GEORGIAN-PS"},
      {"iso8859-14", "ISO-8859-14"},
      {"iso8859-15", "ISO-8859-15"},
      {"big5-0", "BIG5"},
      {"gbk-0", "GBK"}};
  for (const auto& [known, encoding] : kNames) {
    if (name.size() == known.size() && strncasecmp(name.data(), known.data(), name.size()) == 0) {
      return encoding;
    }
  }
  return nullptr;
}

// Writes UTF-8, converting runs of one iconv encoding in one call. The converters are opened
// on first use only: most titles never need one.
class Output {
 public:
  explicit Output(size_t expected) { text_.reserve(expected); }
  ~Output() {
    for (auto& [name, cd] : open_) {
      if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    }
  }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  void codePoint(uint32_t cp) {
    flush();
    appendUtf8(text_, cp);
  }
  void replacement() {
    flush();
    text_.append(kReplacement);
  }
  void utf8(std::string_view bytes) {
    flush();
    text_.append(sanitizeUtf8(bytes));
  }
  // Bytes in `encoding`, `unit` bytes per character (what is skipped when one is undefined).
  void encoded(const char* encoding, size_t unit, std::string_view bytes) {
    if (encoding != pendingName_ || unit != pendingUnit_) flush();
    pendingName_ = encoding;
    pendingUnit_ = unit;
    pending_.append(bytes);
  }
  std::string take() {
    flush();
    return std::move(text_);
  }

 private:
  iconv_t converter(const char* name) {
    auto [it, added] = open_.try_emplace(name, reinterpret_cast<iconv_t>(-1));
    if (added) it->second = iconv_open("UTF-8", name);
    return it->second;
  }

  void flush() {
    if (pending_.empty()) return;
    const iconv_t cd = converter(pendingName_);
    char* in = pending_.data();
    size_t inLeft = pending_.size();
    while (inLeft > 0) {
      if (cd == reinterpret_cast<iconv_t>(-1)) {  // no such converter here
        for (size_t i = 0; i < inLeft; i += pendingUnit_) text_.append(kReplacement);
        break;
      }
      char buf[4096];
      char* out = buf;
      size_t outLeft = sizeof buf;
      const size_t r = iconv(cd, &in, &inLeft, &out, &outLeft);
      text_.append(buf, static_cast<size_t>(out - buf));
      if (r != static_cast<size_t>(-1) || errno == E2BIG) continue;
      // Undefined in the set, or cut short: one replacement per character.
      text_.append(kReplacement);
      const size_t skip = std::min(pendingUnit_, inLeft);
      in += skip;
      inLeft -= skip;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    pending_.clear();
  }

  std::string text_;
  std::string pending_;
  const char* pendingName_ = nullptr;
  size_t pendingUnit_ = 1;
  std::map<std::string, iconv_t> open_;
};

class Decoder {
 public:
  Decoder(std::string_view bytes, bool cut) : s_(bytes), cut_(cut), out_(bytes.size()) {}

  std::string run() {
    while (i_ < s_.size()) {
      const auto b = byte(i_);
      if (b == kEsc) {
        if (!escape()) break;
      } else if (b == kCsi) {
        if (!direction()) break;
      } else if (b < 0x20 || b == 0x7F) {
        out_.codePoint(b);  // tab and newline belong here; other controls pass as they are
        ++i_;
      } else if (b < 0x80) {
        if (!character(g0_, b)) break;
      } else if (b < 0xA0) {
        out_.replacement();  // C1 controls have no place in text
        ++i_;
      } else if (!character(g1_, b)) {
        break;
      }
    }
    return out_.take();
  }

 private:
  unsigned char byte(size_t at) const { return static_cast<unsigned char>(s_[at]); }

  // What remains is the start of something the end of the bytes split: dropped when the
  // property was cut there, otherwise a replacement. False: stop.
  bool truncated() {
    if (!cut_) out_.replacement();
    i_ = s_.size();
    return false;
  }

  // One character of `set` starting at byte `b`; false when the bytes end inside it.
  bool character(const Charset& set, unsigned char b) {
    const bool right = b >= 0x80;
    const auto code = static_cast<unsigned char>(b & 0x7F);
    if (set.width == 2) {
      if (code == 0x20 || code == 0x7F) {  // space and delete stay themselves in GL
        right ? out_.replacement() : out_.codePoint(code);
        ++i_;
        return true;
      }
      if (i_ + 1 >= s_.size()) return truncated();
      const auto second = byte(i_ + 1);
      if ((second >= 0x80) != right || (second & 0x7F) < 0x21 || (second & 0x7F) > 0x7E) {
        out_.replacement();
        ++i_;
        return true;
      }
      i_ += 2;
      if (set.kind != Kind::Iconv) {
        out_.replacement();
        return true;
      }
      std::string euc = set.prefix;
      euc.push_back(static_cast<char>(b | 0x80));
      euc.push_back(static_cast<char>(second | 0x80));
      out_.encoded(set.iconvName, euc.size(), euc);
      return true;
    }
    ++i_;
    if (!set.of96 && (code == 0x20 || code == 0x7F)) {
      right ? out_.replacement() : out_.codePoint(code);
      return true;
    }
    switch (set.kind) {
      case Kind::Ascii:
        out_.codePoint(code);
        break;
      case Kind::JisRoman:  // ASCII but for the yen sign and the overline
        out_.codePoint(code == 0x5C ? 0xA5 : code == 0x7E ? 0x203E : code);
        break;
      case Kind::JisKana:
        code <= 0x5F ? out_.codePoint(0xFF61 + (code - 0x21)) : out_.replacement();
        break;
      case Kind::Latin1:
        out_.codePoint(code | 0x80u);
        break;
      case Kind::Iconv: {
        const char c = static_cast<char>(code | 0x80);
        out_.encoded(set.iconvName, 1, std::string_view(&c, 1));
        break;
      }
      case Kind::Unknown:
        out_.replacement();
        break;
    }
    return true;
  }

  // CSI ... ]: a direction marker, which carries no text. False when the bytes end inside.
  bool direction() {
    size_t j = i_ + 1;
    while (j < s_.size() && byte(j) >= 0x20 && byte(j) <= 0x3F) ++j;
    if (j >= s_.size()) return truncated();
    if (byte(j) != ']') out_.replacement();
    i_ = j + 1;
    return true;
  }

  // ESC, intermediates (0x20-0x2F), final (0x30-0x7E).
  bool escape() {
    size_t j = i_ + 1;
    while (j < s_.size() && byte(j) >= 0x20 && byte(j) <= 0x2F) ++j;
    if (j >= s_.size()) return truncated();
    const std::string_view mid = s_.substr(i_ + 1, j - i_ - 1);
    const unsigned char final = byte(j);
    i_ = j + 1;
    if (final < 0x30 || final > 0x7E) {
      out_.replacement();
      i_ = j;  // the odd byte is looked at again as text
      return true;
    }
    if (mid == "(") {
      g0_ = set94(final);
    } else if (mid == ")") {
      g1_ = set94(final);
    } else if (mid == "-") {
      g1_ = set96(final);
    } else if (mid == "$(" || (mid == "$" && final <= 'B')) {
      g0_ = set94x94(final);
    } else if (mid == "$)") {
      g1_ = set94x94(final);
    } else if (mid == "%" && final == 'G') {
      return utf8Segment();
    } else if (mid == "%/" && final >= '0' && final <= '4') {
      return extendedSegment();
    } else if (!(mid == "%" && final == '@')) {  // leaving UTF-8 outside of it: nothing to do
      out_.replacement();
    }
    return true;
  }

  // ESC % G ... ESC % @ (or the end of the text): UTF-8.
  bool utf8Segment() {
    const size_t end = s_.find("\x1b%@", i_);
    std::string_view part = s_.substr(i_, end == std::string_view::npos ? s_.npos : end - i_);
    if (end == std::string_view::npos && cut_) part = part.substr(0, withoutCutSequence(part));
    out_.utf8(part);
    i_ = end == std::string_view::npos ? s_.size() : end + 3;
    return true;
  }

  // M L name STX bytes, where (M, L) counts what follows them: a self-contained run in an
  // encoding named by text. The designations around it stay as they were.
  bool extendedSegment() {
    if (i_ + 2 > s_.size()) return truncated();
    const size_t length = size_t{byte(i_) & 0x7Fu} * 128 + (byte(i_ + 1) & 0x7Fu);
    const size_t start = i_ + 2;
    if (start + length > s_.size()) return truncated();
    const std::string_view segment = s_.substr(start, length);
    i_ = start + length;
    const size_t stx = segment.find(static_cast<char>(kStx));
    const char* encoding =
        stx == std::string_view::npos ? nullptr : extendedSegmentEncoding(segment.substr(0, stx));
    if (encoding == nullptr) {
      if (!segment.empty()) out_.replacement();
      return true;
    }
    out_.encoded(encoding, 1, segment.substr(stx + 1));
    return true;
  }

  std::string_view s_;
  bool cut_;
  size_t i_ = 0;
  Output out_;
  Charset g0_ = set94('B');
  Charset g1_ = set96('A');
};

}  // namespace

std::string decodeCompoundText(std::string_view bytes, bool cut) {
  return Decoder(bytes, cut).run();
}

}  // namespace lorvane
