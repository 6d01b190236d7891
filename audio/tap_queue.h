#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/audio_platform.h"

namespace lorvane::audio {

/// The serial queue "lorvane.tap" and the hand-over to it from the real-time thread.
///
/// The real-time side copies each graph cycle into a fixed ring of slots of kSlotFrames
/// frames (no allocation, no lock, no blocking call) and commits it, so the queue's thread may
/// take a slot's frames before the slot is full. A slot is closed when full or when the rate
/// changes. The thread is woken (one eventfd write) for the first cycle and then every
/// kWakeCycles cycles, once they hold at least kWakeSeconds of audio. On this kind of machine
/// a wake-up costs more CPU than the work it brings (bench/audio/cpu: about 70 us each; one
/// per cycle made us use 1.3 to 1.5 times pw-record's CPU), while the batch is latency the
/// reader hears (bench/audio/latency). Counting cycles keeps both in proportion to the graph:
/// 80 ms when a client asks for 20-ms cycles, 170 ms on the idle graph's 43-ms cycles. The
/// thread hands the frames it finds, joined while their rate stays the same, to the block in
/// one call; calls never overlap. A stop does not wait for the batch: flush().
class TapQueue final : public IOQueue {
 public:
  static constexpr uint32_t kChannels = 2;
  static constexpr uint32_t kSlotFrames = 2048;
  static constexpr uint32_t kSlots = 32;  // 1.4 s at 48 kHz before cycles are dropped
  static constexpr uint32_t kWakeCycles = 4;
  static constexpr double kWakeSeconds = 0.04;
  /// The most frames one call of the block gets: the whole ring.
  static constexpr uint32_t kMaxBlockFrames = kSlots * kSlotFrames;

  TapQueue();
  ~TapQueue();
  TapQueue(const TapQueue&) = delete;
  TapQueue& operator=(const TapQueue&) = delete;

  /// Makes the wake-up descriptor and starts the thread; fails with the errno of a descriptor
  /// that could not be made (EMFILE, ...). Cycles pushed before the start are delivered.
  OSStatus start(IOBlock block) override;
  void push(const float* const* channels, uint32_t channelCount, uint32_t frames, double rate,
            const uint32_t* valid = nullptr) noexcept override;

  /// The queue's last act: hands every frame pushed before the call to the block, runs
  /// `then`, both on the queue's thread, and ends that thread (what comes later is dropped,
  /// so the block never runs after `then`). Waits for that until `deadline`; false if it did
  /// not finish by then. Never call it from the queue's thread (it would wait on itself).
  bool flush(std::function<void()> then, std::chrono::steady_clock::time_point deadline);

  /// Times the queue's thread has been woken, and cycles dropped because the ring was full.
  uint64_t wakeups() const { return wakeups_.load(std::memory_order_relaxed); }
  uint64_t droppedFrames() const { return dropped_.load(std::memory_order_relaxed); }

 private:
  struct Slot {
    double rate = 0;                  // set when the producer opens the slot
    std::atomic<uint32_t> frames{0};  // committed by the producer; reset by the consumer
    float samples[kChannels][kSlotFrames];
  };
  void closeSlot() noexcept;
  void wake() noexcept;
  void run();
  void takeCommitted();
  void emit(double rate);

  std::unique_ptr<Slot[]> slots_;
  int eventFd_ = -1;
  IOBlock block_;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  // Closed slots (producer), and slots wholly taken and free again (consumer).
  std::atomic<uint64_t> published_{0};
  std::atomic<uint64_t> taken_{0};
  // Producer only.
  bool openSlot_ = false;
  bool woken_ = false;
  uint32_t fill_ = 0;         // frames in the open slot
  uint32_t unsignalled_ = 0;  // frames committed since the last wake-up
  uint32_t cycles_ = 0;       // cycles pushed since the last wake-up
  // Consumer only.
  uint32_t takenFrames_ = 0;              // of the slot at taken_
  std::vector<float> joined_[kChannels];  // the frames of one call, reserved at kMaxBlockFrames
  // A pending flush: set by flush(), run and answered by the queue's thread.
  std::mutex flushMutex_;
  std::condition_variable flushDone_;
  std::function<void()> flushThen_;
  bool flushAsked_ = false, flushAnswered_ = false;
  std::atomic<uint64_t> wakeups_{0};
  std::atomic<uint64_t> dropped_{0};
};

}  // namespace lorvane::audio
