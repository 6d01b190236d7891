#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace lorvane::dbus {

/// A basic D-Bus value: b, i, u, x, t, d, and s (object paths are read as strings).
using Scalar = std::variant<bool, int32_t, uint32_t, int64_t, uint64_t, double, std::string>;

/// A dictionary of variants (a{sv}); a member of another type than Scalar holds is left out
/// when read.
using Dict = std::map<std::string, Scalar>;

/// A file descriptor passed with a call (h). The bus duplicates it; the caller keeps its own.
struct Fd {
  int fd = -1;
};

/// One argument of a method call or answer. Reading skips arguments of other types.
using Arg = std::variant<bool, int32_t, uint32_t, int64_t, uint64_t, double, std::string, Fd, Dict>;

/// The member `key` of `dict` when it holds a T, else nothing.
template <typename T>
std::optional<T> member(const Dict& dict, const std::string& key) {
  const auto it = dict.find(key);
  if (it == dict.end() || !std::holds_alternative<T>(it->second)) return std::nullopt;
  return std::get<T>(it->second);
}

/// Argument `index` of `args` when it holds a T, else nothing.
template <typename T>
std::optional<T> argAt(const std::vector<Arg>& args, size_t index) {
  if (index >= args.size() || !std::holds_alternative<T>(args[index])) return std::nullopt;
  return std::get<T>(args[index]);
}

}  // namespace lorvane::dbus
