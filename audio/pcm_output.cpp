#include "audio/pcm_output.h"

#include <pthread.h>

#include "report/fd_write.h"

namespace lorvane::audio {

PcmOutput::PcmOutput(int fd, std::function<void()> onFailure, size_t capBytes)
    : fd_(fd), onFailure_(std::move(onFailure)), backlog_(capBytes) {
  thread_ = std::thread([this] { run(); });
  pthread_setname_np(thread_.native_handle(), "lorvane.out");
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
  backlog_.push(std::move(block));
  lock.unlock();
  // A writer that is busy comes back for the backlog by itself: no wake-up needed.
  if (wasIdle) wake_.notify_one();
  return true;
}

uint64_t PcmOutput::droppedBytes() {
  std::lock_guard lock(mutex_);
  return backlog_.droppedBytes();
}

bool PcmOutput::idle() {
  std::lock_guard lock(mutex_);
  return backlog_.empty() && !writing_;
}

void PcmOutput::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !backlog_.empty(); });
    if (backlog_.empty()) return;  // stopping with nothing left
    std::vector<uint8_t> block = *backlog_.pop();
    writing_ = true;
    lock.unlock();
    const bool ok = writeAll(fd_, block.data(), block.size());
    lock.lock();
    writing_ = false;
    if (!ok) {
      failed_ = true;
      lock.unlock();
      onFailure_();
      return;
    }
  }
}

}  // namespace lorvane::audio
