#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/backlog.h"

namespace lorvane::audio {

/// Standard output for the PCM stream. write() never waits for the reader. While the reader
/// keeps up, a block goes straight to a pipe or file from the caller's thread: to a pipe in
/// pieces of at most PIPE_BUF bytes, each after poll() has said there is room (such a write
/// then cannot block, and a non-blocking one that says EAGAIN keeps the rest); no other
/// thread wakes. Otherwise blocks go into a bounded Backlog that the thread "lorvane.out"
/// writes out in order (to a pipe in the same pieces, so that each one that goes out shows
/// that the reader is taking), blocking as long as the reader needs. When the descriptor fails
/// (the reader has gone), `onFailure` runs once, on the thread that saw it.
class PcmOutput {
 public:
  /// 16 MiB: over eight minutes of 16 kHz s16 mono for a reader that has stalled.
  static constexpr size_t kDefaultCapBytes = 16u << 20;
  /// A backlog that grew past this gives its memory back to the system once it is written
  /// out: a long stall would otherwise leave the process that much bigger for good.
  static constexpr size_t kTrimAfterBytes = 256u << 10;

  PcmOutput(int fd, std::function<void()> onFailure, size_t capBytes = kDefaultCapBytes);
  PcmOutput(const PcmOutput&) = delete;
  PcmOutput& operator=(const PcmOutput&) = delete;
  /// Waits for the writer thread; only tests destroy one (the process ends with _exit).
  ~PcmOutput();

  /// Writes or queues one block of whole samples. False once the descriptor has failed.
  /// One thread only may call it: a direct write relies on no other block being queued while
  /// it runs outside the lock.
  bool write(std::vector<uint8_t> block);

  /// Waits until everything written so far has reached the descriptor (true), or until it
  /// has failed or nothing more has gone out for `patience`, counted from the call at the
  /// earliest (false): a reader that is still taking is waited for, one that has stopped
  /// for good is not.
  bool drain(std::chrono::milliseconds patience);

  uint64_t droppedBytes();
  /// Blocks in the backlog or being written.
  bool idle();

 private:
  void run();
  bool writeDirect(std::vector<uint8_t>& block);
  /// Writes a whole block for the writer thread; false when the descriptor has failed.
  bool writeBlocking(const std::vector<uint8_t>& block);
  /// Some bytes have gone out: drain() waits on.
  void noteProgress();
  /// Runs `write` with the lock released and `writing_` set; a failed write marks the output
  /// failed and reports it once (the lock is then released). True when the write succeeded.
  template <typename Write>
  bool writeUnlocked(std::unique_lock<std::mutex>& lock, Write write);

  int fd_;
  bool pipe_ = false;  // written from the caller's thread in PIPE_BUF pieces while it has room
  bool file_ = false;  // a regular file: written from the caller's thread
  std::function<void()> onFailure_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable drained_;  // a write has finished
  Backlog backlog_;
  bool writing_ = false;
  bool failed_ = false;
  bool stopping_ = false;
  size_t backlogPeak_ = 0;  // the backlog's largest size since it was last empty
  std::chrono::steady_clock::time_point lastOut_{};  // when bytes last went out
  std::thread thread_;
};

}  // namespace lorvane::audio
