#pragma once

#include <optional>
#include <string>
#include <utility>

namespace lorvane {

/// A value, or the text of what failed (which system, which window, the system's message).
template <typename T>
struct Outcome {
  std::optional<T> value;
  std::string error;

  static Outcome success(T v) { return Outcome{std::move(v), {}}; }
  static Outcome failure(std::string text) { return Outcome{std::nullopt, std::move(text)}; }
  bool ok() const { return value.has_value(); }
};

}  // namespace lorvane
