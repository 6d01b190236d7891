#include "utf8_check.h"

#include <cstdint>

namespace fuzz {
namespace {

void appendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool hex4(std::string_view s, size_t pos, uint32_t& v) {
  if (pos + 4 > s.size()) return false;
  v = 0;
  for (size_t i = pos; i < pos + 4; ++i) {
    const char c = s[i];
    v <<= 4;
    if (c >= '0' && c <= '9')
      v |= static_cast<uint32_t>(c - '0');
    else if (c >= 'a' && c <= 'f')
      v |= static_cast<uint32_t>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F')
      v |= static_cast<uint32_t>(c - 'A' + 10);
    else
      return false;
  }
  return true;
}

}  // namespace

bool isValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<uint8_t>(s[i]);
    uint32_t cp;
    size_t n;
    if (b < 0x80) {
      cp = b;
      n = 1;
    } else if ((b & 0xE0) == 0xC0) {
      cp = b & 0x1F;
      n = 2;
    } else if ((b & 0xF0) == 0xE0) {
      cp = b & 0x0F;
      n = 3;
    } else if ((b & 0xF8) == 0xF0) {
      cp = b & 0x07;
      n = 4;
    } else
      return false;
    if (i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k) {
      const auto c = static_cast<uint8_t>(s[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n;
  }
  return true;
}

bool decodeJsonString(std::string_view s, size_t& pos, std::string& out) {
  if (pos >= s.size() || s[pos] != '"') return false;
  ++pos;
  while (pos < s.size()) {
    const char c = s[pos++];
    if (c == '"') return true;
    if (static_cast<uint8_t>(c) < 0x20) return false;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (pos >= s.size()) return false;
    const char e = s[pos++];
    switch (e) {
      case '"':
        out += '"';
        break;
      case '\\':
        out += '\\';
        break;
      case '/':
        out += '/';
        break;
      case 'b':
        out += '\b';
        break;
      case 'f':
        out += '\f';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'u': {
        uint32_t cp;
        if (!hex4(s, pos, cp)) return false;
        pos += 4;
        if (cp >= 0xDC00 && cp <= 0xDFFF) return false;
        if (cp >= 0xD800 && cp <= 0xDBFF) {
          uint32_t low;
          if (pos + 2 > s.size() || s[pos] != '\\' || s[pos + 1] != 'u' || !hex4(s, pos + 2, low) ||
              low < 0xDC00 || low > 0xDFFF) {
            return false;
          }
          pos += 6;
          cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        }
        appendUtf8(out, cp);
        break;
      }
      default:
        return false;
    }
  }
  return false;
}

}  // namespace fuzz
