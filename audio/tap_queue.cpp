#include "audio/tap_queue.h"

#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace lorvane::audio {

TapQueue::TapQueue(std::string label)
    // Zeroed here, so the real-time thread never takes a page fault on the ring.
    : label_(std::move(label)), slots_(new Slot[kSlots]()), eventFd_(eventfd(0, EFD_CLOEXEC)) {}

TapQueue::~TapQueue() {
  if (thread_.joinable()) {
    stopping_.store(true);
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(eventFd_, &one, sizeof one);
    thread_.join();
  }
  if (eventFd_ >= 0) close(eventFd_);
}

void TapQueue::start(IOBlock block) {
  block_ = std::move(block);
  thread_ = std::thread([this] { run(); });
  pthread_setname_np(thread_.native_handle(), label_.substr(0, 15).c_str());
}

void TapQueue::push(const float* const* channels, uint32_t channelCount, uint32_t frames,
                    double rate, const uint32_t* valid) noexcept {
  uint32_t done = 0;
  while (done < frames) {
    const uint64_t head = published_.load(std::memory_order_relaxed);
    Slot& slot = slots_[head % kSlots];
    if (openSlot_ && slot.rate != rate) {
      publish();  // a rate change starts a new slot
      continue;
    }
    if (!openSlot_) {
      if (head - taken_.load(std::memory_order_acquire) >= kSlots) {
        dropped_.fetch_add(frames - done, std::memory_order_relaxed);
        return;  // the queue has fallen far behind: drop rather than wait
      }
      slot.rate = rate;
      slot.frames = 0;
      openSlot_ = true;
    }
    const uint32_t n = std::min(frames - done, kSlotFrames - slot.frames);
    for (uint32_t c = 0; c < kChannels; ++c) {
      float* dst = slot.samples[c] + slot.frames;
      const float* src = c < channelCount ? channels[c] : nullptr;
      const uint32_t have = src == nullptr ? 0 : valid == nullptr ? frames : valid[c];
      const uint32_t copy = have > done ? std::min(n, have - done) : 0;
      if (copy > 0) std::memcpy(dst, src + done, copy * sizeof(float));
      if (copy < n) std::memset(dst + copy, 0, (n - copy) * sizeof(float));
    }
    slot.frames += n;
    done += n;
    if (slot.frames == kSlotFrames || !firstPublished_) publish();
  }
}

void TapQueue::publish() noexcept {
  openSlot_ = false;
  const bool first = !firstPublished_;
  firstPublished_ = true;
  published_.fetch_add(1, std::memory_order_release);
  if (!first && ++unsignalled_ < kWakeEverySlots) return;
  unsignalled_ = 0;
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(eventFd_, &one, sizeof one);
}

void TapQueue::run() {
  for (;;) {
    uint64_t count = 0;
    if (::read(eventFd_, &count, sizeof count) < 0 && errno != EINTR) return;
    if (stopping_.load()) return;
    wakeups_.fetch_add(1, std::memory_order_relaxed);
    // published_ counts finished slots only (the open one sits at index published_), and
    // the release increment makes each finished slot's samples visible here.
    const uint64_t head = published_.load(std::memory_order_acquire);
    uint64_t t = taken_.load(std::memory_order_relaxed);
    while (t < head) {
      // Join the slots up to the next change of rate, then give them back to the producer.
      const double rate = slots_[t % kSlots].rate;
      size_t frames = 0;
      for (auto& channel : joined_) channel.clear();
      for (; t < head && slots_[t % kSlots].rate == rate; ++t) {
        const Slot& slot = slots_[t % kSlots];
        for (uint32_t c = 0; c < kChannels; ++c) {
          joined_[c].insert(joined_[c].end(), slot.samples[c], slot.samples[c] + slot.frames);
        }
        frames += slot.frames;
      }
      taken_.store(t, std::memory_order_release);
      const float* channels[kChannels];
      for (uint32_t c = 0; c < kChannels; ++c) channels[c] = joined_[c].data();
      AudioBufferList list;
      list.channels = channels;
      list.channelCount = kChannels;
      list.frames = static_cast<uint32_t>(frames);
      list.sampleRate = rate;
      list.interleaved = false;
      block_(list);
    }
  }
}

}  // namespace lorvane::audio
