#include "audio/backlog.h"

#include <gtest/gtest.h>

namespace lorvane::audio {
namespace {

std::vector<uint8_t> block(size_t n, uint8_t fill) {
  return std::vector<uint8_t>(n, fill);
}

TEST(Backlog, KeepsOrderAndDropsTheOldestWholeBlocksBeyondTheCap) {
  Backlog backlog(10);
  backlog.push(block(4, 1));
  backlog.push(block(4, 2));
  backlog.push({});  // empty blocks are not kept
  EXPECT_EQ(backlog.bytes(), 8u);
  backlog.push(block(4, 3));  // 12 > 10: block 1 goes
  EXPECT_EQ(backlog.bytes(), 8u);
  EXPECT_EQ(backlog.droppedBytes(), 4u);
  EXPECT_EQ(backlog.pop(), block(4, 2));
  EXPECT_EQ(backlog.pop(), block(4, 3));
  EXPECT_FALSE(backlog.pop());
  EXPECT_TRUE(backlog.empty());
}

TEST(Backlog, AnOversizedBlockStaysAlone) {
  Backlog backlog(4);
  backlog.push(block(2, 1));
  backlog.push(block(6, 2));
  EXPECT_EQ(backlog.bytes(), 6u);
  EXPECT_EQ(backlog.pop(), block(6, 2));
}

}  // namespace
}  // namespace lorvane::audio
