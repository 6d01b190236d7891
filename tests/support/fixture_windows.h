#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace lorvane::testing {

/// The lorvane-test-windows program (from LORVANE_FIXTURE_WINDOWS, set by CTest).
std::string fixtureWindowsPath();

/// Runs lorvane-test-windows on a layout (the format is described in
/// tests/fixtures/test_windows.cpp) and waits until its windows are shown. The windows go
/// away with the object.
class FixtureWindows {
 public:
  explicit FixtureWindows(const std::string& layout);
  ~FixtureWindows();
  FixtureWindows(const FixtureWindows&) = delete;
  FixtureWindows& operator=(const FixtureWindows&) = delete;

  /// True once the fixture printed its "ready" line; otherwise error() says why.
  bool ready() const { return ready_; }
  std::string error() const { return error_; }
  /// The XIDs of the layout's windows, in layout order.
  const std::vector<uint32_t>& ids() const { return ids_; }
  /// The fixture's pid: what X-Resource reports as the owner of each of its windows.
  pid_t pid() const { return child_->pid(); }

 private:
  std::string layoutPath_;
  std::unique_ptr<ChildProcess> child_;
  bool ready_ = false;
  std::string error_;
  std::vector<uint32_t> ids_;
};

}  // namespace lorvane::testing
