#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lorvane {

/// Writes one status line, text plus line feed, to descriptor 2 in a single write so that
/// lines from different threads never interleave.
void log(std::string_view text);

/// A sample rate as the shortest positional decimal that reads back as the same double, with
/// at least one digit after the point: 16000 -> "16000.0", 44100.5 -> "44100.5".
std::string formatRate(double rate);

/// "prop error <selector> <status>"
std::string propErrorLine(uint32_t selector, int32_t status);

/// "format sr=<rate> ch=<channels> flags=<flags>"
std::string formatLine(double rate, uint32_t channels, uint32_t flags);

}  // namespace lorvane
