#include "audio/tap_queue.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
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
  TapQueue queue;
  Sink sink;
  queue.start(sink.block());
  float counter = 0;
  // 1 + 64 cycles of 256 frames at 48 kHz: the first cycle wakes the thread, then every
  // eighth does (four cycles at least, and 40 ms = 1920 frames at least).
  pushCycles(queue, 65, 256, 48000, counter);
  ASSERT_TRUE(queue.flush({}, std::chrono::steady_clock::now() + std::chrono::seconds(5)));
  std::lock_guard lock(sink.mutex);
  ASSERT_EQ(sink.left.size(), 65u * 256);
  for (size_t i = 0; i < sink.left.size(); ++i) {
    ASSERT_EQ(sink.left[i], float(i));
    ASSERT_EQ(sink.right[i], -float(i));
  }
  EXPECT_LE(queue.wakeups(), 1u + 8 + 1);  // the last one is the flush
}

TEST(TapQueue, ARateChangeStartsANewBlock) {
  TapQueue queue;
  Sink sink;
  queue.start(sink.block());
  float counter = 0;
  pushCycles(queue, 3, 512, 48000, counter);
  pushCycles(queue, 4, 512, 44100, counter);
  pushCycles(queue, 2, 2048, 44100, counter);
  ASSERT_TRUE(queue.flush({}, std::chrono::steady_clock::now() + std::chrono::seconds(5)));
  std::lock_guard lock(sink.mutex);
  // Each block holds one rate: first the 48 kHz frames, then the 44.1 kHz ones.
  uint32_t at48k = 0, at44k = 0;
  for (const auto& [frames, rate] : sink.blocks) {
    if (rate == 48000) {
      EXPECT_EQ(at44k, 0u);
      at48k += frames;
    } else {
      EXPECT_EQ(rate, 44100);
      at44k += frames;
    }
  }
  EXPECT_EQ(at48k, 3u * 512);
  EXPECT_EQ(at44k, 4u * 512 + 2 * 2048);
}

// Frames that no wake-up has fetched yet (less than 20 ms) reach the block on a flush, and
// its last step runs after them.
TEST(TapQueue, FlushHandsOverEverythingPushedThenRunsItsLastStep) {
  TapQueue queue;
  Sink sink;
  queue.start(sink.block());
  float counter = 0;
  pushCycles(queue, 1, 128, 48000, counter);
  ASSERT_TRUE(sink.waitForFrames(128));
  pushCycles(queue, 3, 64, 48000, counter);
  size_t framesAtLastStep = 0;
  ASSERT_TRUE(queue.flush([&] { framesAtLastStep = sink.left.size(); },
                          std::chrono::steady_clock::now() + std::chrono::seconds(5)));
  EXPECT_EQ(framesAtLastStep, 128u + 3 * 64);
}

// However the graph cuts its cycles and whatever its rate, and however far the queue's
// thread falls behind, one call of the block never gets more than the ring holds.
TEST(TapQueue, JoinedBlocksStayWithinTheRing) {
  for (const double rate : {8000.0, 44100.0, 48000.0, 96000.0, 192000.0}) {
    for (const uint32_t frames : {1u, 64u, 480u, 1024u, 2048u, 3000u, 8192u}) {
      TapQueue queue;
      uint32_t largest = 0;
      uint64_t total = 0;
      queue.start([&](const AudioBufferList& in) {
        largest = std::max(largest, in.frames);
        total += in.frames;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));  // a slow consumer
      });
      float counter = 0;
      const int cycles = int(3 * TapQueue::kMaxBlockFrames / frames) + 1;
      pushCycles(queue, std::min(cycles, 4000), frames, rate, counter);
      ASSERT_TRUE(queue.flush({}, std::chrono::steady_clock::now() + std::chrono::seconds(5)));
      EXPECT_LE(largest, TapQueue::kMaxBlockFrames) << rate << " Hz, cycles of " << frames;
      EXPECT_EQ(total + queue.droppedFrames(), uint64_t(std::min(cycles, 4000)) * frames);
    }
  }
}

TEST(TapQueue, ShortChannelsEndInSilence) {
  TapQueue queue;
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
  TapQueue queue;
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

// With no descriptor left for its wake-ups the queue must say so when it starts, rather than
// start a thread that never runs the block (a stream silent for good, with no status line).
TEST(TapQueue, StartFailsWhenNoDescriptorIsLeft) {
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  const int lowest = open("/dev/null", O_RDONLY | O_CLOEXEC);  // the next descriptor given out
  ASSERT_GE(lowest, 0);
  close(lowest);
  rlimit none = saved;
  none.rlim_cur = rlim_t(lowest);
  auto queue = std::make_unique<TapQueue>();
  Sink sink;
  IOBlock block = sink.block();
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none), 0);
  const OSStatus status = queue->start(std::move(block));
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
  EXPECT_EQ(status, -EMFILE);
}

}  // namespace
}  // namespace lorvane::audio
