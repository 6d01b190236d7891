#include "report/status_line.h"

#include <unistd.h>
#include <charconv>
#include <cmath>

#include "report/fd_write.h"

namespace lorvane {

void log(std::string_view text) {
  std::string line;
  line.reserve(text.size() + 1);
  line.append(text);
  line.push_back('\n');
  writeAll(STDERR_FILENO, line.data(), line.size());  // nowhere to report a failed status line
}

std::string formatRate(double rate) {
  if (!std::isfinite(rate)) return rate != rate ? "nan" : (rate < 0 ? "-inf" : "inf");
  // Fixed notation without a precision gives the shortest digits that round-trip.
  char buf[400];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, rate, std::chars_format::fixed);
  std::string text(buf, ec == std::errc() ? end : buf);
  if (text.find('.') == std::string::npos) text += ".0";
  return text;
}

std::string propErrorLine(uint32_t selector, int32_t status) {
  return "prop error " + std::to_string(selector) + " " + std::to_string(status);
}

std::string formatLine(double rate, uint32_t channels, uint32_t flags) {
  return "format sr=" + formatRate(rate) + " ch=" + std::to_string(channels) +
         " flags=" + std::to_string(flags);
}

}  // namespace lorvane
