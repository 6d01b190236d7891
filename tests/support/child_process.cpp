#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace lorvane::testing {
namespace {

std::vector<std::string> mergedEnvironment(const ChildOptions& options) {
  std::map<std::string, std::string> vars;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry(*e);
    const auto eq = entry.find('=');
    if (eq != std::string::npos) vars[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  for (const auto& [name, value] : options.env) {
    if (value) {
      vars[name] = *value;
    } else {
      vars.erase(name);
    }
  }
  std::vector<std::string> out;
  for (const auto& [name, value] : vars) out.push_back(name + "=" + value);
  return out;
}

std::vector<char*> cStrings(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (auto& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

ExitInfo decode(int status) {
  ExitInfo info;
  if (WIFEXITED(status)) {
    info.exited = true;
    info.code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    info.signal = WTERMSIG(status);
  }
  return info;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& path, std::vector<std::string> argv,
                           ChildOptions options)
    : drainStdout_(options.drainStdout) {
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) {
    throw std::runtime_error("pipe2 failed");
  }
  if (options.nonBlocking) {
    fcntl(in[0], F_SETFL, O_NONBLOCK);
    fcntl(out[1], F_SETFL, O_NONBLOCK);
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  // The child starts with default signal dispositions and the mask asked for, whatever the
  // test runner set.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t all, mask;
  sigfillset(&all);
  sigemptyset(&mask);
  for (const int sig : options.blockedSignals) sigaddset(&mask, sig);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setsigmask(&attr, &mask);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  std::vector<std::string> env = mergedEnvironment(options);
  auto argvC = cStrings(argv);
  auto envC = cStrings(env);
  const int rc = posix_spawn(&pid_, path.c_str(), &actions, &attr, argvC.data(), envC.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  close(in[0]);
  close(out[1]);
  close(err[1]);
  inFd_ = in[1];
  outFd_ = out[0];
  errFd_ = err[0];
  if (rc != 0) throw std::runtime_error("posix_spawn " + path + ": " + std::strerror(rc));
  reader_ = std::thread([this] { readLoop(); });
}

ChildProcess::~ChildProcess() {
  if (!exit_) {
    ::kill(pid_, SIGKILL);
    wait(std::chrono::seconds(5));
  }
  closeStdin();
  {
    std::lock_guard lock(mutex_);
    readerDone_ = true;
  }
  if (reader_.joinable()) reader_.join();
  if (outFd_ >= 0) close(outFd_);
  if (errFd_ >= 0) close(errFd_);
}

void ChildProcess::readLoop() {
  char buf[65536];
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (readerDone_) return;
    }
    pollfd fds[2] = {{errFd_, POLLIN, 0}, {-1, POLLIN, 0}};
    std::unique_lock lock(mutex_);
    if (errEof_ && (outEof_ || !drainStdout_)) return;
    if (!outEof_ && drainStdout_ && outFd_ >= 0) fds[1].fd = outFd_;
    if (errEof_) fds[0].fd = -1;
    lock.unlock();
    if (poll(fds, 2, 50) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
      lock.lock();
      if (n > 0) {
        (i == 0 ? err_ : out_).append(buf, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        (i == 0 ? errEof_ : outEof_) = true;
      }
      lock.unlock();
      changed_.notify_all();
    }
  }
}

void ChildProcess::writeStdin(const std::string& bytes) {
  size_t done = 0;
  while (inFd_ >= 0 && done < bytes.size()) {
    const ssize_t n = ::write(inFd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return;
    done += static_cast<size_t>(n);
  }
}

void ChildProcess::closeStdin() {
  if (inFd_ >= 0) close(inFd_);
  inFd_ = -1;
}

void ChildProcess::closeStdout() {
  std::lock_guard lock(mutex_);
  drainStdout_ = false;
  if (outFd_ >= 0) close(outFd_);
  outFd_ = -1;
}

void ChildProcess::signal(int signo) {
  ::kill(pid_, signo);
}

std::string ChildProcess::out() {
  std::lock_guard lock(mutex_);
  return out_;
}

std::string ChildProcess::err() {
  std::lock_guard lock(mutex_);
  return err_;
}

bool ChildProcess::waitForErr(const std::string& text, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return err_.find(text) != std::string::npos; });
}

bool ChildProcess::waitForOutBytes(size_t bytes, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return out_.size() >= bytes; });
}

ExitInfo ChildProcess::wait(std::chrono::milliseconds timeout) {
  if (exit_) return *exit_;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  for (;;) {
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) break;
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  exit_ = decode(status);
  // Let the reader collect everything the child wrote before it ended.
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, std::chrono::seconds(2),
                    [&] { return errEof_ && (outEof_ || !drainStdout_); });
  return *exit_;
}

RunResult runProgram(const std::string& path, std::vector<std::string> argv,
                     const std::string& input, ChildOptions options) {
  ChildProcess child(path, std::move(argv), std::move(options));
  child.writeStdin(input);
  child.closeStdin();
  RunResult result;
  result.exit = child.wait();
  result.out = child.out();
  result.err = child.err();
  return result;
}

std::string tapPath() {
  const char* path = std::getenv("LORVANE_TAP");
  return path != nullptr ? path : "./lorvane-tap";
}

}  // namespace lorvane::testing
