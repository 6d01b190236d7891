// lorvane-tap against a real private PipeWire session (tests/with-pipewire): players with
// known pids, tones measured in the PCM it writes.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <regex>
#include <thread>

#include "audio/tests/capture_helpers.h"

namespace lorvane::audio {
namespace {

using namespace capture_test;  // the helpers and the names they use

TEST(Capture, KeepsOneToneAndLeavesTheExcludedPlayersOut) {
  auto kept = play("pw-play", 440);
  auto excluded = play("pw-play", 1000);
  // A player started by an excluded process (the shell stays its parent) is left out too.
  auto parent = std::make_unique<ChildProcess>(
      "/bin/sh",
      std::vector<std::string>{"sh", "-c", "trap 'kill $!' TERM; /usr/bin/pw-play \"$0\" & wait",
                               toneWav(1500)});
  std::this_thread::sleep_for(300ms);
  auto t = tap({"--exclude-pid=" + std::to_string(excluded->pid()),
                "--exclude-pid=" + std::to_string(parent->pid())});
  ASSERT_TRUE(t->waitForErr("READY", 5s)) << t->err();
  ASSERT_TRUE(waitForPlayerLinked());
  const size_t from = t->out().size();
  ASSERT_TRUE(t->waitForOutBytes(from + 32000 * 3 / 2, 10s));
  t->closeStdin();
  EXPECT_EQ(t->wait().code, 0);
  const std::string pcm = t->out().substr(from - from % 2);
  EXPECT_EQ(pcm.size() % 2, 0u);
  EXPECT_GT(steadyAmplitude(pcm, 440), 0.4);  // played at 0.5
  EXPECT_LT(amplitude(pcm, 1000), 1e-3);      // below -60 dB of it
  EXPECT_LT(amplitude(pcm, 1500), 1e-3);
  parent->signal(SIGTERM);  // the shell takes its player along
  parent->wait();
}

TEST(Capture, PulsePlayersAndLateStartersAreCapturedAndExcludedAlike) {
  auto t0 = tap();  // just to know the tap starts before any player
  auto excluded = play("paplay", 1000);
  auto t = tap({"--exclude-pid=" + std::to_string(excluded->pid())});
  ASSERT_TRUE(t->waitForErr("READY", 5s)) << t->err();
  t0->closeStdin();
  auto late = play("paplay", 660);
  auto lateNative = play("pw-play", 330);
  ASSERT_TRUE(waitForPlayerLinked("paplay"));
  ASSERT_TRUE(waitForPlayerLinked("pw-play"));
  const size_t before = t->out().size();
  ASSERT_TRUE(t->waitForOutBytes(before + 32000 * 2, 10s));
  t->closeStdin();
  EXPECT_EQ(t->wait().code, 0);
  const std::string pcm = t->out().substr(before);
  EXPECT_GT(steadyAmplitude(pcm, 660, 0.75), 0.3);
  EXPECT_GT(steadyAmplitude(pcm, 330, 0.75), 0.3);
  EXPECT_LT(amplitude(pcm, 1000, 0.75), 1e-3);
  EXPECT_EQ(t0->wait().code, 0);
}

TEST(Capture, SilenceFlowsAt16kHzAndReadyComesBeforeTheFirstSample) {
  // stderr merged into stdout: "READY" must come before the first PCM byte.
  auto t = std::make_unique<ChildProcess>(
      "/bin/sh", std::vector<std::string>{"sh", "-c", "exec \"$0\" 2>&1", tapPath()});
  ASSERT_TRUE(t->waitForOutBytes(200, 5s));
  const auto start = std::chrono::steady_clock::now();
  const size_t first = t->out().size();
  std::this_thread::sleep_for(1500ms);
  const size_t got = t->out().size() - first;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  t->closeStdin();
  EXPECT_EQ(t->wait().code, 0);
  const std::string all = t->out();
  std::smatch m;
  ASSERT_TRUE(std::regex_search(all, m, kStatusLines));
  EXPECT_EQ(m.position(0), 0);
  const std::string pcm = all.substr(size_t(m.length(0)));
  EXPECT_EQ(pcm.size() % 2, 0u);
  EXPECT_EQ(pcm.find_first_not_of('\0'), std::string::npos);  // nothing plays: zeros
  EXPECT_NEAR(double(got), 32000 * seconds, 32000 * 0.3);
}

TEST(Capture, FollowsAGraphRateChange) {
  auto player = play("pw-play", 1000);
  auto t = tap();
  ASSERT_TRUE(t->waitForErr("READY", 5s));
  ASSERT_TRUE(waitForPlayerLinked());
  runProgram("/usr/bin/pw-metadata",
             {"pw-metadata", "-n", "settings", "0", "clock.force-rate", "44100"});
  std::this_thread::sleep_for(500ms);
  const size_t from = t->out().size();
  ASSERT_TRUE(t->waitForOutBytes(from + 32000, 10s));
  runProgram("/usr/bin/pw-metadata",
             {"pw-metadata", "-n", "settings", "0", "clock.force-rate", "0"});
  t->closeStdin();
  EXPECT_EQ(t->wait().code, 0);
  const std::string pcm = t->out().substr(from);
  EXPECT_GT(steadyAmplitude(pcm, 1000, 0.1), 0.4);  // right pitch at 16 kHz
  EXPECT_LT(amplitude(pcm, 1088.4, 0.1), 0.05);     // not played 48/44.1 too fast
}

// A parent's signal mask is inherited: SIGTERM and SIGINT that it blocked still stop capture.
TEST(Capture, SignalsTheParentBlockedStillStopIt) {
  for (const int sig : {SIGTERM, SIGINT}) {
    ChildOptions options;
    options.blockedSignals = {SIGINT, SIGTERM};
    auto t = tap({}, options);
    ASSERT_TRUE(t->waitForErr("READY", 5s)) << t->err();
    t->signal(sig);
    const ExitInfo exit = t->wait(5s);
    EXPECT_TRUE(exit.exited) << sig;
    EXPECT_EQ(exit.code, 0) << sig;
  }
}

TEST(Capture, EveryWayOutTearsDownAndExitsZero) {
  const std::vector<std::pair<std::string, std::function<void(ChildProcess&)>>> endings{
      {"end of input", [](ChildProcess& c) { c.closeStdin(); }},
      {"SIGTERM", [](ChildProcess& c) { c.signal(SIGTERM); }},
      {"SIGINT", [](ChildProcess& c) { c.signal(SIGINT); }},
      {"closed stdout", [](ChildProcess& c) { c.closeStdout(); }},
      {"all at once",
       [](ChildProcess& c) {
         c.closeStdout();
         c.signal(SIGTERM);
         c.closeStdin();
         c.signal(SIGINT);
       }},
  };
  for (const auto& [name, end] : endings) {
    SCOPED_TRACE(name);
    auto t = tap();
    ASSERT_TRUE(collect(*t, 3200)) << t->err();
    t->writeStdin("anything at all\n");  // input is read and thrown away
    const long node = captureNodeId(pwDump());
    EXPECT_GE(node, 0);
    end(*t);
    const ExitInfo exit = t->wait(10s);
    EXPECT_TRUE(exit.exited);
    EXPECT_EQ(exit.code, 0);
    EXPECT_TRUE(std::regex_match(t->err(), kStatusLines)) << t->err();
    expectNothingLeft(node);
  }
}

TEST(Capture, AStalledReaderLosesNothing) {
  ChildOptions options;
  options.drainStdout = false;
  auto t = tap({}, options);
  ASSERT_TRUE(t->waitForErr("READY", 5s));
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(3s);  // the 64 KiB pipe fills after about 2 s
  size_t got = 0;
  char buf[65536];
  const auto until = std::chrono::steady_clock::now() + 1s;
  while (std::chrono::steady_clock::now() < until) {
    pollfd fd{t->stdoutFd(), POLLIN, 0};
    if (poll(&fd, 1, 50) <= 0) continue;
    const ssize_t n = read(t->stdoutFd(), buf, sizeof buf);
    if (n <= 0) break;
    got += size_t(n);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  t->closeStdin();
  EXPECT_EQ(t->wait().code, 0);
  // Everything since READY arrived, up to the last batch still in the pipeline (under
  // 0.3 s); a stream that lost what the 64 KiB pipe could not hold would miss a second.
  EXPECT_GT(double(got), 32000 * (seconds - 0.5));
  EXPECT_LT(double(got), 32000 * (seconds + 0.3));
}

}  // namespace
}  // namespace lorvane::audio

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const int status = RUN_ALL_TESTS();
  std::filesystem::remove_all(lorvane::audio::capture_test::workDir());
  return status;
}
