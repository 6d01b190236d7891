#include "audio/platform/outage_watch.h"

#include <algorithm>
#include <cstdint>

namespace lorvane::audio {
namespace {

constexpr int64_t kMs = 1000000;

}  // namespace

void OutageWatch::start() {
  running_ = true;
  phase_ = Phase::Up;
  audioBackNs_ = link_.now();
  link_.armTick(kUpTickMs);
}

void OutageWatch::lost() {
  lost_ = true;
  if (running_) link_.armTick(kOutageTickMs);
}

void OutageWatch::tick() {
  if (!running_) return;
  const int64_t now = link_.now();
  if (phase_ == Phase::Up) {
    // Audio stopped with the last cycle the node saw (or the reconnect, if it saw none).
    const int64_t lastAudio = std::max(link_.lastCycleNs(), audioBackNs_);
    if (lost_ || (pingOut_ && now - pingSentNs_ >= kPingTimeoutMs * kMs)) {
      beginOutage(now, std::min(now, lastAudio));
    } else if (!pingOut_ && now - lastAudio >= kQuietMs * kMs) {
      link_.ping();
      pingOut_ = true;
      pingSentNs_ = now;
    }
    return;
  }
  paceSilence(now, kMostSilencePerTick);
  if (phase_ == Phase::Connecting && (lost_ || now >= nextAttemptNs_)) {
    link_.close(false);  // failed or timed out: drop it and wait
    pingOut_ = false;
    phase_ = Phase::Down;
    retryLater(now);
  } else if (phase_ == Phase::Down && now >= nextAttemptNs_) {
    attempt(now);
  }
}

void OutageWatch::beginOutage(int64_t now, int64_t silenceFromNs) {
  silenceFromNs_ = silenceFromNs;
  silenceFrames_ = 0;
  silenceRate_ = link_.graphRate();  // before the connection, and what it knew, goes
  link_.close(true);
  pingOut_ = false;
  phase_ = Phase::Down;
  backoffMs_ = kFirstBackoffMs;
  retryLater(now);
  link_.armTick(kOutageTickMs);
}

void OutageWatch::retryLater(int64_t now) {
  nextAttemptNs_ = now + backoffMs_ * kMs;
  backoffMs_ = std::min(2 * backoffMs_, kLongestBackoffMs);
}

void OutageWatch::attempt(int64_t now) {
  lost_ = false;
  if (!link_.open()) {  // no daemon listening yet
    retryLater(now);
    return;
  }
  // Its answer means the registry's globals have arrived: the capture node follows.
  link_.ping();
  pingOut_ = true;
  pingSentNs_ = now;
  phase_ = Phase::Connecting;
  nextAttemptNs_ = now + kAttemptTimeoutMs * kMs;
}

void OutageWatch::reconnected() {
  if (phase_ != Phase::Connecting) return;
  const int64_t now = link_.now();
  // Whatever silence was still owed is given now, all of it: the node's cycles follow on.
  paceSilence(now, INT64_MAX);
  link_.resume();
  phase_ = Phase::Up;
  pingOut_ = false;
  audioBackNs_ = now;
  link_.armTick(kUpTickMs);
}

void OutageWatch::paceSilence(int64_t now, int64_t most) {
  const int64_t due = int64_t(double(now - silenceFromNs_) * silenceRate_ / 1e9);
  for (int64_t owed = std::min(due - silenceFrames_, most); owed > 0; owed -= kSilencePiece) {
    const int64_t piece = std::min(owed, kSilencePiece);
    link_.pushSilence(uint32_t(piece), silenceRate_);
    silenceFrames_ += piece;
  }
}

}  // namespace lorvane::audio
