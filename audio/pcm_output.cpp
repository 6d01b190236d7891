#include "audio/pcm_output.h"

#include <limits.h>
#include <malloc.h>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "report/fd_write.h"

namespace lorvane::audio {

PcmOutput::PcmOutput(int fd, std::function<void()> onFailure, size_t capBytes)
    : fd_(fd), onFailure_(std::move(onFailure)), backlog_(capBytes) {
  struct stat info;
  if (fstat(fd, &info) == 0) {
    pipe_ = S_ISFIFO(info.st_mode);
    file_ = S_ISREG(info.st_mode);
  }
  thread_ = std::thread([this] { run(); });
  pthread_setname_np(thread_.native_handle(), "lorvane.out");
}

template <typename Write>
bool PcmOutput::writeUnlocked(std::unique_lock<std::mutex>& lock, Write write) {
  writing_ = true;
  lock.unlock();
  const bool ok = write();
  lock.lock();
  writing_ = false;
  drained_.notify_all();
  if (ok) return true;
  failed_ = true;
  lock.unlock();
  onFailure_();
  return false;
}

PcmOutput::~PcmOutput() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

bool PcmOutput::write(std::vector<uint8_t> block) {
  std::unique_lock lock(mutex_);
  if (failed_) return false;
  const bool wasIdle = backlog_.empty() && !writing_;
  if (wasIdle && (pipe_ || file_)) {
    // Only this thread adds blocks, so the writer stays idle while we write.
    if (!writeUnlocked(lock, [&] { return writeDirect(block); })) return false;
    if (block.empty()) return true;
  }
  backlog_.push(std::move(block));
  backlogPeak_ = std::max(backlogPeak_, backlog_.bytes());
  lock.unlock();
  // A writer that is busy comes back for the backlog by itself: no wake-up needed.
  if (wasIdle) wake_.notify_one();
  return true;
}

bool PcmOutput::drain(std::chrono::milliseconds patience) {
  std::unique_lock lock(mutex_);
  const auto asked = std::chrono::steady_clock::now();
  for (;;) {
    if (failed_) return false;
    if (backlog_.empty() && !writing_) return true;
    // Each piece that goes out moves the limit on.
    const auto giveUp = std::max(asked, lastOut_) + patience;
    if (std::chrono::steady_clock::now() >= giveUp) return false;
    drained_.wait_until(lock, giveUp);
  }
}

void PcmOutput::noteProgress() {
  std::lock_guard lock(mutex_);
  lastOut_ = std::chrono::steady_clock::now();
  drained_.notify_all();
}

uint64_t PcmOutput::droppedBytes() {
  std::lock_guard lock(mutex_);
  return backlog_.droppedBytes();
}

bool PcmOutput::idle() {
  std::lock_guard lock(mutex_);
  return backlog_.empty() && !writing_;
}

// Writes as much of the block as the descriptor takes without blocking and removes it from
// the block; what is left keeps its order for the writer thread. False when the descriptor
// has failed.
bool PcmOutput::writeDirect(std::vector<uint8_t>& block) {
  if (file_) {
    if (!writeAll(fd_, block.data(), block.size())) return false;
    block.clear();
    return true;
  }
  size_t done = 0;
  while (done < block.size()) {
    pollfd fd{fd_, POLLOUT, 0};
    if (poll(&fd, 1, 0) != 1 || !(fd.revents & (POLLOUT | POLLERR | POLLNVAL))) break;
    if (fd.revents & (POLLERR | POLLNVAL)) return false;
    const size_t piece = std::min<size_t>(PIPE_BUF, block.size() - done);
    const ssize_t n = ::write(fd_, block.data() + done, piece);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;  // full after all: later
    if (n < 0) return false;
    done += size_t(n);
  }
  if (done > 0) noteProgress();
  block.erase(block.begin(), block.begin() + long(done));
  return true;
}

bool PcmOutput::writeBlocking(const std::vector<uint8_t>& block) {
  // A pipe takes it in PIPE_BUF pieces: each returns as soon as the reader has made room.
  const size_t piece = pipe_ ? PIPE_BUF : block.size();
  for (size_t done = 0; done < block.size(); done += piece) {
    if (!writeAll(fd_, block.data() + done, std::min(piece, block.size() - done))) return false;
    noteProgress();
  }
  return true;
}

void PcmOutput::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !backlog_.empty(); });
    if (backlog_.empty()) return;  // stopping with nothing left
    std::vector<uint8_t> block = *backlog_.pop();
    if (!writeUnlocked(lock, [&] { return writeBlocking(block); })) return;
    if (!backlog_.empty()) continue;
    const bool trim = backlogPeak_ > kTrimAfterBytes;
    backlogPeak_ = 0;
    if (trim) {
      // The blocks of the stall are freed by now, but in pieces the allocator keeps.
      block = {};
      lock.unlock();
      malloc_trim(0);
      lock.lock();
    }
  }
}

}  // namespace lorvane::audio
