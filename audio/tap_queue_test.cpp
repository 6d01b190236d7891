#include "audio/tap_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace lorvane::audio {
namespace {

// Collects what the queue's thread hands to the block.
struct Sink {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<float> left, right;
  std::vector<std::pair<uint32_t, double>> blocks;  // frames, rate

  IOBlock block() {
    return [this](const AudioBufferList& in) {
      std::lock_guard lock(mutex);
      ASSERT_EQ(in.channelCount, 2u);
      ASSERT_FALSE(in.interleaved);
      left.insert(left.end(), in.channels[0], in.channels[0] + in.frames);
      right.insert(right.end(), in.channels[1], in.channels[1] + in.frames);
      blocks.emplace_back(in.frames, in.sampleRate);
      changed.notify_all();
    };
  }
  bool waitForFrames(size_t n) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(5), [&] { return left.size() >= n; });
  }
};

void pushCycles(TapQueue& queue, int cycles, uint32_t frames, double rate, float& counter) {
  std::vector<float> l(frames), r(frames);
  for (int c = 0; c < cycles; ++c) {
    for (uint32_t i = 0; i < frames; ++i) {
      l[i] = counter;
      r[i] = -counter;
      counter += 1;
    }
    const float* channels[2] = {l.data(), r.data()};
    queue.push(channels, 2, frames, rate);
  }
}

TEST(TapQueue, DeliversEveryFrameInOrderInFewWakeUps) {
  TapQueue queue("lorvane.tap");
  Sink sink;
  queue.start(sink.block());
  float counter = 0;
  // 1 + 64 cycles of 256 frames: the first cycle alone, then eight slots of 2048 frames;
  // the thread wakes for the first slot and then for every fourth one.
  pushCycles(queue, 65, 256, 48000, counter);
  ASSERT_TRUE(sink.waitForFrames(256 + 8 * 2048));
  std::lock_guard lock(sink.mutex);
  for (size_t i = 0; i < sink.left.size(); ++i) {
    ASSERT_EQ(sink.left[i], float(i));
    ASSERT_EQ(sink.right[i], -float(i));
  }
  EXPECT_EQ(sink.left.size(), 256u + 8 * 2048);
  EXPECT_LE(sink.blocks.size(), 3u);  // slots found together come as one block
  EXPECT_LE(queue.wakeups(), 3u);
}

TEST(TapQueue, ARateChangeStartsANewBlock) {
  TapQueue queue("lorvane.tap");
  Sink sink;
  queue.start(sink.block());
  float counter = 0;
  pushCycles(queue, 1, 512, 48000, counter);  // published alone (first)
  ASSERT_TRUE(sink.waitForFrames(512));
  pushCycles(queue, 2, 512, 48000, counter);   // open slot at 48 kHz
  pushCycles(queue, 4, 512, 44100, counter);   // closes it: 1024 frames at 48 kHz
  pushCycles(queue, 2, 2048, 44100, counter);  // the fourth slot since the first wakes it
  ASSERT_TRUE(sink.waitForFrames(1536 + 3 * 2048));
  std::lock_guard lock(sink.mutex);
  ASSERT_EQ(sink.blocks.size(), 3u);
  EXPECT_EQ(sink.blocks[1], std::make_pair(1024u, 48000.0));
  EXPECT_EQ(sink.blocks[2], std::make_pair(3u * 2048, 44100.0));
}

TEST(TapQueue, ShortChannelsEndInSilence) {
  TapQueue queue("lorvane.tap");
  Sink sink;
  queue.start(sink.block());
  const std::vector<float> l(8, 0.5f), r(8, -0.5f);
  const float* channels[2] = {l.data(), r.data()};
  const uint32_t valid[2] = {3, 8};
  queue.push(channels, 2, 8, 48000, valid);
  ASSERT_TRUE(sink.waitForFrames(8));
  std::lock_guard lock(sink.mutex);
  EXPECT_EQ(sink.left, (std::vector<float>{0.5f, 0.5f, 0.5f, 0, 0, 0, 0, 0}));
  EXPECT_EQ(sink.right, r);
}

TEST(TapQueue, MissingChannelsAreSilenceAndAFullRingDrops) {
  TapQueue queue("lorvane.tap");
  std::vector<float> l(TapQueue::kSlotFrames, 0.5f);
  const float* channels[2] = {l.data(), nullptr};
  // Nobody consumes yet: the ring takes kSlots slots, then whole cycles are dropped.
  for (uint32_t i = 0; i < TapQueue::kSlots + 3; ++i) {
    queue.push(channels, 2, TapQueue::kSlotFrames, 48000);
  }
  EXPECT_EQ(queue.droppedFrames(), 3u * TapQueue::kSlotFrames);
  Sink sink;
  queue.start(sink.block());
  ASSERT_TRUE(sink.waitForFrames(size_t(TapQueue::kSlots) * TapQueue::kSlotFrames));
  std::lock_guard lock(sink.mutex);
  EXPECT_EQ(sink.left.size(), size_t(TapQueue::kSlots) * TapQueue::kSlotFrames);
  EXPECT_EQ(std::count(sink.left.begin(), sink.left.end(), 0.5f), long(sink.left.size()));
  EXPECT_EQ(std::count(sink.right.begin(), sink.right.end(), 0.0f), long(sink.right.size()));
}

}  // namespace
}  // namespace lorvane::audio
