#include "audio/pcm_output.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

namespace lorvane::audio {
namespace {

std::vector<uint8_t> block(size_t n, uint8_t fill) {
  return std::vector<uint8_t>(n, fill);
}

struct Pipe {
  Pipe() {
    EXPECT_EQ(pipe2(fds, O_CLOEXEC), 0);
    fcntl(fds[1], F_SETPIPE_SZ, 4096);
  }
  ~Pipe() {
    for (int fd : fds) {
      if (fd >= 0) close(fd);
    }
  }
  std::string readAll(size_t bytes) {
    std::string out;
    char buf[8192];
    while (out.size() < bytes) {
      const ssize_t n = read(fds[0], buf, sizeof buf);
      if (n <= 0) break;
      out.append(buf, size_t(n));
    }
    return out;
  }
  int fds[2] = {-1, -1};
};

TEST(PcmOutput, AStalledReaderLosesNothingAndWritesNeverWait) {
  Pipe pipe;
  std::atomic<bool> failed{false};
  PcmOutput out(pipe.fds[1], [&] { failed = true; });
  // 64 KiB into a 4 KiB pipe that nobody reads: every write returns at once.
  std::string expected;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 64; ++i) {
    auto bytes = block(1024, uint8_t(i));
    expected.append(bytes.begin(), bytes.end());
    EXPECT_TRUE(out.write(std::move(bytes)));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_FALSE(out.idle());
  EXPECT_EQ(pipe.readAll(expected.size()), expected);
  EXPECT_EQ(out.droppedBytes(), 0u);
  EXPECT_FALSE(failed);
}

TEST(PcmOutput, BeyondTheCapTheOldestAudioGoes) {
  Pipe pipe;
  PcmOutput out(
      pipe.fds[1], [] {}, 8192);
  for (int i = 0; i < 64; ++i) out.write(block(1024, uint8_t(i)));
  // What reaches the reader: what the pipe and the writer held, then the newest 8 KiB.
  const std::string got = pipe.readAll(64 * 1024 - out.droppedBytes());
  EXPECT_GT(out.droppedBytes(), 0u);
  EXPECT_EQ(got.size() % 1024, 0u);
  EXPECT_EQ(uint8_t(got.back()), 63);
}

// A stop waits for a reader that is still taking, however long all of it takes: the limit
// counts from the last piece that went out, not from the call.
TEST(PcmOutput, DrainWaitsWhileTheReaderTakes) {
  Pipe pipe;
  PcmOutput out(pipe.fds[1], [] {});
  for (int i = 0; i < 64; ++i) out.write(block(1024, uint8_t(i)));
  std::string got;
  std::thread reader([&] {
    char buf[4096];
    while (got.size() < 64 * 1024) {
      std::this_thread::sleep_for(std::chrono::milliseconds(40));
      const ssize_t n = read(pipe.fds[0], buf, sizeof buf);
      if (n <= 0) break;
      got.append(buf, size_t(n));
    }
  });
  // 16 reads 40 ms apart take longer than the patience.
  EXPECT_TRUE(out.drain(std::chrono::milliseconds(400)));
  reader.join();
  EXPECT_EQ(got.size(), 64u * 1024);
}

// A reader that never takes again is given up once the patience has run out, and one that
// closes its end at once.
TEST(PcmOutput, DrainGivesUpOnAReaderThatStopped) {
  signal(SIGPIPE, SIG_IGN);
  Pipe pipe;
  PcmOutput out(pipe.fds[1], [] {});
  for (int i = 0; i < 64; ++i) out.write(block(1024, uint8_t(i)));
  EXPECT_FALSE(out.drain(std::chrono::milliseconds(100)));
  EXPECT_FALSE(out.idle());
  std::thread closer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    close(pipe.fds[0]);
    pipe.fds[0] = -1;
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(out.drain(std::chrono::seconds(30)));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  closer.join();
}

TEST(PcmOutput, AClosedReaderEndsIt) {
  Pipe pipe;
  close(pipe.fds[0]);
  pipe.fds[0] = -1;
  signal(SIGPIPE, SIG_IGN);
  std::atomic<bool> failed{false};
  PcmOutput out(pipe.fds[1], [&] { failed = true; });
  out.write(block(2, 0));  // seen at once, or by the writer thread a moment later
  for (int i = 0; i < 200 && !failed; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_TRUE(failed);
  EXPECT_FALSE(out.write(block(2, 0)));
}

}  // namespace
}  // namespace lorvane::audio
