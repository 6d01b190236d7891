#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace lorvane {

/// The process's argument vector exactly as received, element 0 (the program name) included.
/// Nothing parses it up front: every question re-reads the whole list.
using ArgList = std::span<const char* const>;

/// True when some element, element 0 included, is exactly `flag`.
bool hasFlag(ArgList args, std::string_view flag);

/// The PID of an element "--exclude-pid=N": an optional sign, then ASCII digits only, within
/// the 32-bit signed range (-2147483648 included). Anything else gives no value.
std::optional<int32_t> parseExcludePid(std::string_view element);

}  // namespace lorvane
