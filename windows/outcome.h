#pragma once

#include <optional>
#include <string>
#include <utility>

namespace lorvane {

/// A value, or the text of what failed (which system, which window, the system's message):
/// exactly one of the two, as only the factories make one.
template <typename T>
class Outcome {
 public:
  static Outcome success(T v) { return Outcome(std::move(v), {}); }
  static Outcome failure(std::string text) { return Outcome(std::nullopt, std::move(text)); }

  bool ok() const { return value_.has_value(); }
  /// The value; only when ok().
  T& value() { return *value_; }
  const T& value() const { return *value_; }
  /// What failed; empty when ok().
  const std::string& error() const { return error_; }

 private:
  Outcome(std::optional<T> v, std::string e) : value_(std::move(v)), error_(std::move(e)) {}

  std::optional<T> value_;
  std::string error_;
};

}  // namespace lorvane
