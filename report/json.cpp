#include "report/json.h"

#include <cstdint>

namespace lorvane {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Length of the sequence a lead byte starts and the allowed range of its second byte;
// 0 for bytes that can never start a sequence.
struct Lead {
  int length;
  uint8_t lo, hi;
};

Lead leadOf(uint8_t b) {
  if (b < 0x80) return {1, 0, 0};
  if (b >= 0xC2 && b <= 0xDF) return {2, 0x80, 0xBF};
  if (b == 0xE0) return {3, 0xA0, 0xBF};
  if (b == 0xED) return {3, 0x80, 0x9F};  // no surrogates
  if (b >= 0xE1 && b <= 0xEF) return {3, 0x80, 0xBF};
  if (b == 0xF0) return {4, 0x90, 0xBF};
  if (b >= 0xF1 && b <= 0xF3) return {4, 0x80, 0xBF};
  if (b == 0xF4) return {4, 0x80, 0x8F};  // nothing above U+10FFFF
  return {0, 0, 0};
}

}  // namespace

std::string sanitizeUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    const Lead lead = leadOf(static_cast<uint8_t>(bytes[i]));
    if (lead.length == 1) {
      out.push_back(bytes[i++]);
      continue;
    }
    if (lead.length == 0) {
      out.append(kReplacement);
      ++i;
      continue;
    }
    // Take continuation bytes while they fit; stop at the first one that does not, so that
    // byte starts the next sequence.
    size_t n = 1;
    while (n < static_cast<size_t>(lead.length) && i + n < bytes.size()) {
      const auto c = static_cast<uint8_t>(bytes[i + n]);
      const uint8_t lo = n == 1 ? lead.lo : 0x80;
      const uint8_t hi = n == 1 ? lead.hi : 0xBF;
      if (c < lo || c > hi) break;
      ++n;
    }
    if (n == static_cast<size_t>(lead.length)) {
      out.append(bytes.substr(i, n));
    } else {
      out.append(kReplacement);
    }
    i += n;
  }
  return out;
}

void appendJsonString(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  // The characters with a short escape, and the letter each is written with.
  static constexpr std::string_view kShort = "\"\\/\b\f\n\r\t", kLetter = "\"\\/bfnrt";
  out.push_back('"');
  for (char ch : sanitizeUtf8(text)) {
    const auto c = static_cast<unsigned char>(ch);
    if (const size_t k = kShort.find(ch); k != std::string_view::npos) {
      out.push_back('\\');
      out.push_back(kLetter[k]);
    } else if (c < 0x20 || c == 0x7F) {
      out += "\\u00";
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0xF]);
    } else {
      out.push_back(ch);
    }
  }
  out.push_back('"');
}

void appendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
    return;
  }
  static constexpr uint32_t kLeadMark[] = {0, 0, 0xC0, 0xE0, 0xF0};
  const int length = cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
  out.push_back(static_cast<char>(kLeadMark[length] | (cp >> (6 * (length - 1)))));
  for (int k = length - 2; k >= 0; --k)
    out.push_back(static_cast<char>(0x80 | ((cp >> (6 * k)) & 0x3F)));
}

namespace {

void appendObject(std::string& out, const JsonObject& object) {
  out.push_back('{');
  for (size_t i = 0; i < object.members.size(); ++i) {
    if (i > 0) out.push_back(',');
    appendJsonString(out, object.members[i].first);
    out.push_back(':');
    appendJsonString(out, object.members[i].second);
  }
  out.push_back('}');
}

}  // namespace

std::string toJson(const JsonValue& value) {
  std::string out;
  if (const auto* object = std::get_if<JsonObject>(&value)) {
    appendObject(out, *object);
    return out;
  }
  const JsonArray& array = std::get<JsonArray>(value);
  out.push_back('[');
  for (size_t i = 0; i < array.size(); ++i) {
    if (i > 0) out.push_back(',');
    appendObject(out, array[i]);
  }
  out.push_back(']');
  return out;
}

JsonObject errorReply(std::string text) {
  return JsonObject{{{"error", std::move(text)}}};
}

}  // namespace lorvane
