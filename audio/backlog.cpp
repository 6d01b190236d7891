#include "audio/backlog.h"

namespace lorvane::audio {

void Backlog::push(std::vector<uint8_t> block) {
  if (block.empty()) return;
  bytes_ += block.size();
  blocks_.push_back(std::move(block));
  // The newest block always stays, even one larger than the cap on its own.
  while (bytes_ > cap_ && blocks_.size() > 1) {
    bytes_ -= blocks_.front().size();
    dropped_ += blocks_.front().size();
    blocks_.pop_front();
  }
}

std::optional<std::vector<uint8_t>> Backlog::pop() {
  if (blocks_.empty()) return std::nullopt;
  std::vector<uint8_t> block = std::move(blocks_.front());
  blocks_.pop_front();
  bytes_ -= block.size();
  return block;
}

}  // namespace lorvane::audio
