#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace lorvane::testing {

/// How a child ended: an exit code, or the signal that killed it.
struct ExitInfo {
  bool exited = false;
  int code = -1;
  int signal = 0;
};

struct ChildOptions {
  /// Variables set (or, with an empty optional, removed) on top of this process's environment.
  std::map<std::string, std::optional<std::string>> env;
  /// When false, stdout is left unread so the child's writes back up (see stdoutFd()).
  bool drainStdout = true;
  /// O_NONBLOCK on the child's stdin and stdout, as some parents hand them over.
  bool nonBlocking = false;
  /// Signals blocked in the child's mask from the start, as a parent's own mask is inherited.
  std::vector<int> blockedSignals;
};

/// A program run with pipes on all three standard streams. stdout and stderr are collected
/// by a background reader; stdin stays open until closeStdin().
class ChildProcess {
 public:
  /// `argv[0]` is passed as the program name as it stands, so tests can put a flag there.
  ChildProcess(const std::string& path, std::vector<std::string> argv, ChildOptions options = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  void writeStdin(const std::string& bytes);
  void closeStdin();
  /// Stops reading and closes our end of stdout: the child's next write fails with EPIPE.
  void closeStdout();
  int stdoutFd() const { return outFd_; }
  void signal(int signo);

  std::string out();
  std::string err();
  /// Waits until stderr holds `text` or the timeout passes; true when it does.
  bool waitForErr(const std::string& text, std::chrono::milliseconds timeout);
  /// Waits until stdout holds at least `bytes` bytes.
  bool waitForOutBytes(size_t bytes, std::chrono::milliseconds timeout);
  /// Waits for the child to end; kills it after the timeout (the result then shows SIGKILL).
  ExitInfo wait(std::chrono::milliseconds timeout = std::chrono::seconds(30));

 private:
  void readLoop();

  pid_t pid_ = -1;
  int inFd_ = -1, outFd_ = -1, errFd_ = -1;
  bool drainStdout_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string out_, err_;
  bool readerDone_ = false;
  bool outEof_ = false, errEof_ = false;
  std::optional<ExitInfo> exit_;
  std::thread reader_;
};

struct RunResult {
  std::string out, err;
  ExitInfo exit;
};

/// Runs a program to its end with `input` on stdin (then closed).
RunResult runProgram(const std::string& path, std::vector<std::string> argv,
                     const std::string& input = {}, ChildOptions options = {});

/// The lorvane-tap executable under test (from LORVANE_TAP, set by CTest).
std::string tapPath();

}  // namespace lorvane::testing
