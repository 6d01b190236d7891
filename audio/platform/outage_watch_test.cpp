#include "audio/platform/outage_watch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace lorvane::audio {
namespace {

constexpr int64_t kMs = 1000000;
constexpr double kRate = 48000;

// A daemon, a connection and a clock under the test's control. Time moves only in run(), which
// fires the tick as it was last armed and answers as the daemon would: a ping 1 ms later, and
// on a new connection the capture node 10 ms after that. It records what the watch did to it,
// and fails a test that pushes silence while the node still hands cycles to the queue (the
// queue has one producer).
struct FakeLink : OutageLink {
  OutageWatch watch{*this};
  int64_t clock = 1000 * kMs;
  bool cycling = true;  // the graph runs our node: its last cycle is now
  int64_t lastCycle = 0;
  bool listening = true, answering = true;  // the daemon: gone, frozen or well
  bool connected = true, attached = true;
  int64_t tickEveryMs = 0, nextTick = -1, answerAt = -1, nodeAt = -1;
  std::vector<int64_t> pings, opens, closes;
  int64_t silence = 0, silenceAtResume = -1, resumedAt = -1;
  int64_t mostInATick = 0, largestPiece = 0;

  int64_t now() override { return clock; }
  int64_t lastCycleNs() override { return cycling && attached ? clock : lastCycle; }
  void armTick(int64_t everyMs) override {
    tickEveryMs = everyMs;
    nextTick = clock;
  }
  void ping() override {
    pings.push_back(clock);
    if (connected && answering) answerAt = clock + kMs;
  }
  bool open() override {
    opens.push_back(clock);
    connected = listening;
    return listening;
  }
  void close(bool /*detach*/) override {
    closes.push_back(clock);
    connected = attached = false;
    answerAt = nodeAt = -1;
  }
  void resume() override {
    attached = true;
    resumedAt = clock;
    silenceAtResume = silence;
  }
  void pushSilence(uint32_t frames, double rate) override {
    EXPECT_FALSE(attached) << "two producers";
    EXPECT_EQ(rate, kRate);
    silence += frames;
    largestPiece = std::max<int64_t>(largestPiece, frames);
  }
  double graphRate() override { return kRate; }

  void stopCycles() {
    cycling = false;
    lastCycle = clock;
  }
  void run(int64_t ms) {
    const int64_t end = clock + ms * kMs;
    for (;;) {
      int64_t next = end + 1;
      for (const int64_t at : {nextTick, answerAt, nodeAt}) {
        if (at >= 0) next = std::min(next, at);
      }
      if (next > end) break;
      clock = next;
      if (next == answerAt) {
        answerAt = -1;
        watch.answered();
        if (watch.connecting()) nodeAt = clock + 10 * kMs;
      } else if (next == nodeAt) {
        nodeAt = -1;
        watch.reconnected();
      } else {
        nextTick = clock + tickEveryMs * kMs;
        const int64_t before = silence;
        watch.tick();
        mostInATick = std::max(mostInATick, silence - before);
      }
    }
    clock = end;
  }
  // Silence for the whole time from `from` to `to`.
  static int64_t framesBetween(int64_t from, int64_t to) {
    return int64_t(double(to - from) * kRate / 1e9);
  }
};

TEST(OutageWatch, TheDaemonIsAskedOnlyOnceTheGraphIsQuietFor250ms) {
  FakeLink f;
  f.watch.start();
  f.run(10000);
  EXPECT_TRUE(f.pings.empty());
  f.stopCycles();
  const int64_t quietFrom = f.clock;
  f.run(240);
  EXPECT_TRUE(f.pings.empty());
  f.run(5000);  // answered every time: no outage however long the graph pauses
  ASSERT_FALSE(f.pings.empty());
  EXPECT_GE(f.pings[0] - quietFrom, OutageWatch::kQuietMs * kMs);
  EXPECT_LT(f.pings[0] - quietFrom, (OutageWatch::kQuietMs + OutageWatch::kUpTickMs) * kMs);
  EXPECT_TRUE(f.closes.empty());
  EXPECT_EQ(f.silence, 0);
}

TEST(OutageWatch, APingUnansweredForASecondIsAnOutage) {
  FakeLink f;
  f.watch.start();
  f.run(1000);
  f.answering = false;  // frozen: no cycles, no answers
  f.stopCycles();
  f.run(3000);
  ASSERT_FALSE(f.pings.empty());
  ASSERT_FALSE(f.closes.empty());
  EXPECT_GE(f.closes[0] - f.pings[0], OutageWatch::kPingTimeoutMs * kMs);
  EXPECT_LT(f.closes[0] - f.pings[0], (OutageWatch::kPingTimeoutMs + OutageWatch::kUpTickMs) * kMs);
}

TEST(OutageWatch, ReconnectsBackOffFrom50msTo2s) {
  FakeLink f;
  f.watch.start();
  f.run(1000);
  f.listening = false;  // the daemon died
  f.stopCycles();
  f.watch.lost();
  f.run(12000);
  std::vector<int64_t> gaps;
  for (size_t i = 1; i < f.opens.size(); ++i) gaps.push_back((f.opens[i] - f.opens[i - 1]) / kMs);
  ASSERT_GE(gaps.size(), 8u);
  gaps.resize(8);
  EXPECT_EQ(gaps, (std::vector<int64_t>{100, 200, 400, 800, 1600, 2000, 2000, 2000}));
  EXPECT_EQ(f.opens[0] - f.closes[0], OutageWatch::kFirstBackoffMs * kMs);
}

TEST(OutageWatch, AnAttemptNotDoneIn1500msIsDroppedAndTriedAgain) {
  FakeLink f;
  f.watch.start();
  f.run(1000);
  f.answering = false;  // frozen: connections are accepted and never served
  f.stopCycles();
  f.watch.lost();
  f.run(6000);
  ASSERT_GE(f.opens.size(), 3u);
  ASSERT_GE(f.closes.size(), 3u);  // the first close is the outage's
  EXPECT_EQ(f.closes[1] - f.opens[0], OutageWatch::kAttemptTimeoutMs * kMs);
  EXPECT_EQ(f.closes[2] - f.opens[1], OutageWatch::kAttemptTimeoutMs * kMs);
  EXPECT_EQ(f.opens[1] - f.closes[1], 100 * kMs);  // the backoff goes on doubling
  f.answering = true;  // thawed: the next attempt brings the capture back
  f.run(3000);
  EXPECT_TRUE(f.watch.up());
  EXPECT_TRUE(f.attached);
}

TEST(OutageWatch, SilenceKeepsRealTimePaceUntilTheNodeIsBack) {
  FakeLink f;
  f.watch.start();
  f.run(1000);
  f.listening = false;
  f.stopCycles();
  const int64_t from = f.clock;
  f.watch.lost();
  for (int i = 0; i < 100; ++i) {
    f.run(50);  // one outage tick
    EXPECT_NEAR(double(f.silence), double(FakeLink::framesBetween(from, f.clock)),
                OutageWatch::kSilencePiece);
  }
  f.listening = true;
  f.run(3000);
  ASSERT_TRUE(f.watch.up());
  EXPECT_EQ(f.silenceAtResume, FakeLink::framesBetween(from, f.resumedAt));
  EXPECT_EQ(f.silence, f.silenceAtResume);  // none after the node is back
}

// A frozen daemon is noticed 1.25 to 1.75 s after its last cycle: the silence owed for that time
// goes into the queue at most 16384 frames a tick, in pieces of 2048; a reconnect pays the
// rest at once, before the node's cycles.
TEST(OutageWatch, SilenceOwedIsCaughtUpInBoundedStepsAndInFullOnReconnect) {
  FakeLink f;
  f.watch.start();
  f.run(1000);
  f.answering = false;
  f.stopCycles();
  const int64_t from = f.clock;
  while (f.closes.empty()) f.run(10);
  const int64_t owed = FakeLink::framesBetween(from, f.clock);
  EXPECT_GT(owed, 3 * OutageWatch::kMostSilencePerTick);
  f.answering = true;  // thawed before the catch-up is done
  f.run(200);
  ASSERT_TRUE(f.watch.up());
  EXPECT_LE(f.mostInATick, OutageWatch::kMostSilencePerTick);
  EXPECT_LE(f.largestPiece, OutageWatch::kSilencePiece);
  EXPECT_EQ(f.silenceAtResume, FakeLink::framesBetween(from, f.resumedAt));
}

}  // namespace
}  // namespace lorvane::audio
