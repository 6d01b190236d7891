#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_platform.h"

namespace lorvane::audio {

/// The serial queue "lorvane.tap" and the hand-over to it from the real-time thread.
///
/// The real-time side copies each graph cycle into a fixed ring of slots (no allocation, no
/// lock, no blocking call). A slot is published when it holds kSlotFrames frames, when the
/// rate changes, or for the very first cycle; the queue's thread is woken (one eventfd write)
/// for the first slot and then for every kWakeEverySlots slots, so it wakes about every
/// 170 ms at 48 kHz rather than once per graph cycle: each wake-up costs more CPU than the
/// work it brings (measured by bench/audio). The thread hands the slots it finds, joined
/// while their rate stays the same, to the block in one call; calls never overlap.
class TapQueue final : public IOQueue {
 public:
  static constexpr uint32_t kChannels = 2;
  static constexpr uint32_t kSlotFrames = 2048;
  static constexpr uint32_t kSlots = 32;  // 1.4 s at 48 kHz before cycles are dropped
  static constexpr uint32_t kWakeEverySlots = 4;

  explicit TapQueue(std::string label);
  ~TapQueue();
  TapQueue(const TapQueue&) = delete;
  TapQueue& operator=(const TapQueue&) = delete;

  const std::string& label() const { return label_; }

  void start(IOBlock block) override;
  void push(const float* const* channels, uint32_t channelCount, uint32_t frames, double rate,
            const uint32_t* valid = nullptr) noexcept override;

  /// Times the queue's thread has been woken, and cycles dropped because the ring was full.
  uint64_t wakeups() const { return wakeups_.load(std::memory_order_relaxed); }
  uint64_t droppedFrames() const { return dropped_.load(std::memory_order_relaxed); }

 private:
  struct Slot {
    double rate = 0;
    uint32_t frames = 0;
    float samples[kChannels][kSlotFrames];
  };
  void publish() noexcept;
  void run();

  std::string label_;
  std::unique_ptr<Slot[]> slots_;
  int eventFd_ = -1;
  IOBlock block_;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  // Producer-owned: slots written so far (published and open); consumer-owned: slots taken.
  std::atomic<uint64_t> published_{0};
  std::atomic<uint64_t> taken_{0};
  bool openSlot_ = false;
  bool firstPublished_ = false;
  uint32_t unsignalled_ = 0;              // slots published since the last wake-up
  std::vector<float> joined_[kChannels];  // the queue thread's copy of the slots it takes
  std::atomic<uint64_t> wakeups_{0};
  std::atomic<uint64_t> dropped_{0};
};

}  // namespace lorvane::audio
