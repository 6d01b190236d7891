#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "windows/outcome.h"

namespace lorvane {

/// sway's IPC message types that this program sends.
enum class SwayMessage : uint32_t { getTree = 4, getVersion = 7 };

/// A connection to sway's IPC socket ($SWAYSOCK). Every request ends by a deadline: a sway
/// that does not answer in time is a failure, never a wait without end.
class SwayIpc {
 public:
  /// Connects to the socket at `path`; not connected() when it does not exist or nobody
  /// listens there (failure() says why).
  explicit SwayIpc(const std::string& path);
  ~SwayIpc();
  SwayIpc(const SwayIpc&) = delete;
  SwayIpc& operator=(const SwayIpc&) = delete;

  bool connected() const { return fd_ >= 0; }
  const std::string& failure() const { return failure_; }

  /// Sends one message and gives the reply's payload. After a failure the connection is
  /// closed: a reply that came late would be taken for the next one's.
  Outcome<std::string> request(SwayMessage type, std::string_view payload,
                               std::chrono::steady_clock::time_point deadline);

 private:
  Outcome<std::string> fail(const std::string& what);

  int fd_ = -1;
  std::string failure_;
};

}  // namespace lorvane
