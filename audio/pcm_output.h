#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/backlog.h"

namespace lorvane::audio {

/// Standard output for the PCM stream. write() never waits for the reader: blocks go into a
/// bounded Backlog and the thread "lorvane.out" writes them to the descriptor in order. When
/// the descriptor fails (the reader has gone), `onFailure` runs on that thread.
class PcmOutput {
 public:
  /// 16 MiB: over eight minutes of 16 kHz s16 mono for a reader that has stalled.
  static constexpr size_t kDefaultCapBytes = 16u << 20;

  PcmOutput(int fd, std::function<void()> onFailure, size_t capBytes = kDefaultCapBytes);
  PcmOutput(const PcmOutput&) = delete;
  PcmOutput& operator=(const PcmOutput&) = delete;
  /// Waits for the writer thread; only tests destroy one (the process ends with _exit).
  ~PcmOutput();

  /// Queues one block of whole samples. False once a write has failed.
  bool write(std::vector<uint8_t> block);

  uint64_t droppedBytes();
  /// Blocks in the backlog or being written.
  bool idle();

 private:
  void run();

  int fd_;
  std::function<void()> onFailure_;
  std::mutex mutex_;
  std::condition_variable wake_;
  Backlog backlog_;
  bool writing_ = false;
  bool failed_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace lorvane::audio
