#pragma once

namespace lorvane {

/// Whether this process may listen to global input events (keyboard and pointer of the
/// whole session).
class InputAccess {
 public:
  virtual ~InputAccess() = default;
  /// The current answer; asks the user nothing.
  virtual bool preflight() = 0;
  /// Asks the system to grant access where it can, and gives the answer.
  virtual bool request() = 0;
};

}  // namespace lorvane
