// parseExcludePid against a wide-integer reading of the same rule: an element that starts
// with "--exclude-pid=", an optional sign, one or more ASCII digits, a value in 32-bit range.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "main/args.h"

namespace {

std::optional<int32_t> reference(std::string_view element) {
  constexpr std::string_view kPrefix = "--exclude-pid=";
  if (element.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
  std::string_view text = element.substr(kPrefix.size());
  int64_t sign = 1;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    sign = text[0] == '-' ? -1 : 1;
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  int64_t magnitude = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > 2147483648LL) return std::nullopt;  // stays out of range from here on
  }
  const int64_t value = sign * magnitude;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string raw(reinterpret_cast<const char*>(data), size);
  // Most interesting inputs carry the prefix; try the bytes both as they are and behind it.
  for (const std::string& element : {raw, "--exclude-pid=" + raw}) {
    if (lorvane::parseExcludePid(element) != reference(element)) std::abort();
  }
  return 0;
}
