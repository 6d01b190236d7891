// lorvane-tap against a real private PipeWire session whose daemon is frozen (SIGSTOP) and
// thawed again: only the missing cycles and an unanswered ping can tell.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "audio/tests/capture_helpers.h"

namespace lorvane::audio {
namespace {

using namespace capture_test;  // the helpers and the names they use

// Frozen for 5 s mid-capture: the stream keeps real-time pace (silence while the daemon
// sleeps), and once it is thawed the tone that was playing is captured again.
TEST(Capture, OutlivesTheDaemonFrozenAndThawed) {
  const char* control = std::getenv("LORVANE_WITH_PIPEWIRE");
  ASSERT_NE(control, nullptr) << "runs under tests/with-pipewire";
  ChildProcess player("/usr/bin/pw-play", {"pw-play", toneWav(523, 30)});
  auto t = tap();
  ASSERT_TRUE(collect(*t, 16000));
  ASSERT_TRUE(waitForPlayerLinked());
  using Clock = std::chrono::steady_clock;
  const auto frozenAt = Clock::now();
  const size_t frozenBytes = t->out().size();
  ASSERT_EQ(runProgram(control, {"with-pipewire", "--signal", "STOP"}).exit.code, 0);
  std::this_thread::sleep_for(5s);
  ASSERT_EQ(runProgram(control, {"with-pipewire", "--signal", "CONT"}).exit.code, 0);

  // The tone is back when the last half second holds it.
  const auto thawedAt = Clock::now();
  bool back = false;
  while (!back && Clock::now() - thawedAt < 15s) {
    std::this_thread::sleep_for(250ms);
    const std::string pcm = t->out();
    back = pcm.size() > frozenBytes + 16000 &&
           amplitude(pcm.substr(pcm.size() - pcm.size() % 2 - 16000), 523, 0) > 0.3;
  }
  EXPECT_TRUE(back);
  const double seconds = std::chrono::duration<double>(Clock::now() - frozenAt).count();
  const size_t bytes = t->out().size() - frozenBytes;
  t->closeStdin();
  EXPECT_EQ(t->wait(10s).code, 0);
  EXPECT_NEAR(double(bytes) / seconds, 32000, 32000 * 0.05);
}

}  // namespace
}  // namespace lorvane::audio
