#include "main/args.h"

namespace lorvane {

bool hasFlag(ArgList args, std::string_view flag) {
  for (const char* element : args) {
    if (element != nullptr && flag == element) return true;
  }
  return false;
}

std::optional<int32_t> parseExcludePid(std::string_view element) {
  constexpr std::string_view kPrefix = "--exclude-pid=";
  if (!element.starts_with(kPrefix)) return std::nullopt;
  std::string_view text = element.substr(kPrefix.size());
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  // Accumulate towards the sign so that -2147483648 is reachable without overflow.
  int32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const int32_t digit = c - '0';
    if (__builtin_mul_overflow(value, 10, &value)) return std::nullopt;
    if (negative ? __builtin_sub_overflow(value, digit, &value)
                 : __builtin_add_overflow(value, digit, &value)) {
      return std::nullopt;
    }
  }
  return value;
}

}  // namespace lorvane
