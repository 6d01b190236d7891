#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace lorvane::audio {

/// Converted PCM waiting for a slow reader. Blocks of whole samples go in at the back and
/// out at the front. Beyond `capBytes` the oldest blocks are dropped, whole, so the stream
/// stays a sequence of complete 16-bit samples and a reader that comes back gets the most
/// recent audio.
class Backlog {
 public:
  explicit Backlog(size_t capBytes) : cap_(capBytes) {}

  void push(std::vector<uint8_t> block);
  std::optional<std::vector<uint8_t>> pop();

  bool empty() const { return blocks_.empty(); }
  size_t bytes() const { return bytes_; }
  /// Bytes thrown away because the cap was reached.
  uint64_t droppedBytes() const { return dropped_; }

 private:
  size_t cap_;
  size_t bytes_ = 0;
  uint64_t dropped_ = 0;
  std::deque<std::vector<uint8_t>> blocks_;
};

}  // namespace lorvane::audio
