#include "audio/tap_queue.h"

#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace lorvane::audio {

TapQueue::TapQueue()
    // Zeroed here, so the real-time thread never takes a page fault on the ring.
    : slots_(new Slot[kSlots]()) {
  for (auto& channel : joined_) channel.reserve(kMaxBlockFrames);
}

TapQueue::~TapQueue() {
  if (thread_.joinable()) {
    stopping_.store(true);
    wake();
    thread_.join();
  }
  if (eventFd_ >= 0) ::close(eventFd_);
}

OSStatus TapQueue::start(IOBlock block) {
  // Without its descriptor the thread could never be woken: the stream would stay silent.
  eventFd_ = eventfd(0, EFD_CLOEXEC);
  if (eventFd_ < 0) return -errno;
  if (woken_) wake();  // cycles pushed before the start: their wake-up found no descriptor
  block_ = std::move(block);
  thread_ = std::thread([this] { run(); });
  pthread_setname_np(thread_.native_handle(), "lorvane.tap");
  return 0;
}

void TapQueue::push(const float* const* channels, uint32_t channelCount, uint32_t frames,
                    double rate, const uint32_t* valid) noexcept {
  uint32_t done = 0;
  while (done < frames) {
    const uint64_t head = published_.load(std::memory_order_relaxed);
    Slot& slot = slots_[head % kSlots];
    if (openSlot_ && slot.rate != rate) {
      closeSlot();  // a rate change starts a new slot
      continue;
    }
    if (!openSlot_) {
      if (head - taken_.load(std::memory_order_acquire) >= kSlots) {
        dropped_.fetch_add(frames - done, std::memory_order_relaxed);
        break;  // the queue has fallen far behind: drop rather than wait
      }
      // The consumer left frames at 0 when it freed the slot.
      slot.rate = rate;
      fill_ = 0;
      openSlot_ = true;
    }
    const uint32_t n = std::min(frames - done, kSlotFrames - fill_);
    for (uint32_t c = 0; c < kChannels; ++c) {
      float* dst = slot.samples[c] + fill_;
      const float* src = c < channelCount ? channels[c] : nullptr;
      const uint32_t have = src == nullptr ? 0 : valid == nullptr ? frames : valid[c];
      const uint32_t copy = have > done ? std::min(n, have - done) : 0;
      if (copy > 0) std::memcpy(dst, src + done, copy * sizeof(float));
      if (copy < n) std::memset(dst + copy, 0, (n - copy) * sizeof(float));
    }
    fill_ += n;
    done += n;
    // The release store makes the samples (and the slot's rate) visible with the count.
    slot.frames.store(fill_, std::memory_order_release);
    unsignalled_ += n;
    if (fill_ == kSlotFrames) closeSlot();
  }
  ++cycles_;
  if (!woken_ || (cycles_ >= kWakeCycles && unsignalled_ >= rate * kWakeSeconds)) {
    woken_ = true;
    cycles_ = 0;
    unsignalled_ = 0;
    wake();
  }
}

void TapQueue::closeSlot() noexcept {
  openSlot_ = false;
  published_.fetch_add(1, std::memory_order_release);
}

void TapQueue::wake() noexcept {
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(eventFd_, &one, sizeof one);
}

bool TapQueue::flush(std::function<void()> then, std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(flushMutex_);
  if (!thread_.joinable() || flushAsked_) return flushAnswered_ || !thread_.joinable();
  flushThen_ = std::move(then);
  flushAsked_ = true;
  wake();
  return flushDone_.wait_until(lock, deadline, [this] { return flushAnswered_; });
}

void TapQueue::run() {
  for (;;) {
    uint64_t count = 0;
    if (::read(eventFd_, &count, sizeof count) < 0 && errno != EINTR) return;
    if (stopping_.load()) return;
    wakeups_.fetch_add(1, std::memory_order_relaxed);
    std::unique_lock lock(flushMutex_);
    const bool last = flushAsked_;
    lock.unlock();
    // Read after the request: everything pushed before flush() was called is taken now.
    takeCommitted();
    if (!last) continue;
    if (flushThen_) flushThen_();  // flush() no longer touches it
    lock.lock();
    flushAnswered_ = true;
    flushDone_.notify_all();
    return;
  }
}

// Takes every committed frame: the closed slots whole, then what the open one holds so far.
void TapQueue::takeCommitted() {
  const uint64_t head = published_.load(std::memory_order_acquire);
  uint64_t t = taken_.load(std::memory_order_relaxed);
  double rate = 0;
  for (; t <= head; ++t) {
    Slot& slot = slots_[t % kSlots];
    const uint32_t frames = slot.frames.load(std::memory_order_acquire);
    if (frames > takenFrames_) {
      const size_t joined = joined_[0].size();
      if (joined > 0 && (slot.rate != rate || joined + frames - takenFrames_ > kMaxBlockFrames)) {
        emit(rate);
      }
      rate = slot.rate;
      for (uint32_t c = 0; c < kChannels; ++c) {
        joined_[c].insert(joined_[c].end(), slot.samples[c] + takenFrames_,
                          slot.samples[c] + frames);
      }
      takenFrames_ = frames;
    }
    if (t == head) break;  // still open: the producer goes on filling it
    // Closed and wholly taken: give it back, empty, to the producer.
    slot.frames.store(0, std::memory_order_relaxed);
    takenFrames_ = 0;
    taken_.store(t + 1, std::memory_order_release);
  }
  if (!joined_[0].empty()) emit(rate);
}

void TapQueue::emit(double rate) {
  const float* channels[kChannels];
  for (uint32_t c = 0; c < kChannels; ++c) channels[c] = joined_[c].data();
  block_({.channels = channels,
          .channelCount = kChannels,
          .frames = static_cast<uint32_t>(joined_[0].size()),
          .sampleRate = rate});
  for (auto& channel : joined_) channel.clear();
}

}  // namespace lorvane::audio
