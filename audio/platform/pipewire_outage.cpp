#include <algorithm>

#include "audio/platform/pipewire_session.h"

// Keeping the capture alive when the daemon dies, restarts or freezes. Everything here runs on
// the loop thread from one timer, the tick: every 500 ms while connected, every 50 ms during an
// outage (silence and reconnect attempts). A dead daemon shows as -EPIPE on the core; a frozen one
// only as silence from both the graph and the daemon. So while cycles arrive nothing is sent;
// once they have stopped for 250 ms, a ping left unanswered for a second is an outage.

namespace lorvane::audio {
namespace {

constexpr int64_t kMs = 1000000;
constexpr int64_t kUpTickMs = 500;  // two wake-ups a second: the cost of watching
constexpr int64_t kQuietMs = 250;   // the graph may pause this long before the daemon is asked
constexpr int64_t kPingTimeoutMs = 1000;  // a frozen daemon answers nothing
constexpr int64_t kOutageTickMs = 50;
constexpr int64_t kFirstBackoffMs = 50;
constexpr int64_t kLongestBackoffMs = 2000;
constexpr int64_t kAttemptTimeoutMs = 1500;  // connect, registry, capture node and its ports
// Silence owed from before the outage was noticed is caught up at most this much per tick
// (6.8 times real time), so the queue's ring (64 Ki frames) never overflows.
constexpr int64_t kMostSilencePerTick = 16384;
constexpr int64_t kSilencePiece = 2048;

}  // namespace

void PipeWireSession::watch() {
  audioBackNs_ = monotonicNs();
  const auto onTick = [](void* data, uint64_t /*expirations*/) {
    static_cast<PipeWireSession*>(data)->tick();
  };
  tick_ = pw_loop_add_timer(pw_thread_loop_get_loop(loop_), onTick, this);
  armTick(false);
}

void PipeWireSession::armTick(bool outage) {
  if (tick_ == nullptr) return;
  // Runs now (a zero value would disarm the timer), then at the pace of the state.
  const int64_t everyMs = outage ? kOutageTickMs : kUpTickMs;
  timespec now{0, 1};
  timespec interval{everyMs / 1000, (everyMs % 1000) * kMs};
  pw_loop_update_timer(pw_thread_loop_get_loop(loop_), tick_, &now, &interval, false);
}

void PipeWireSession::tick() {
  if (!capturing_) return;
  const int64_t now = monotonicNs();
  if (link_ == Link::Up) {
    // Audio stopped with the last cycle the node saw (or the reconnect, if it saw none).
    const int64_t lastCycle = node_ ? node_->lastCycleNs.load(std::memory_order_relaxed) : 0;
    const int64_t lastAudio = std::max(lastCycle, audioBackNs_);
    if (lost_ || (pingSeq_ >= 0 && now - pingSentNs_ >= kPingTimeoutMs * kMs)) {
      beginOutage(now, std::min(now, lastAudio));
    } else if (pingSeq_ < 0 && now - lastAudio >= kQuietMs * kMs) {
      pingSeq_ = pw_core_sync(core_, PW_ID_CORE, 0);
      pingSentNs_ = now;
    }
    return;
  }
  paceSilence(now, kMostSilencePerTick);
  if (link_ == Link::Connecting && (lost_ || now >= nextAttemptNs_)) {
    closeConnection();  // failed or timed out: drop it and wait
    link_ = Link::Down;
    retryLater(now);
  } else if (link_ == Link::Down && now >= nextAttemptNs_) {
    attempt(now);
  }
}

void PipeWireSession::beginOutage(int64_t now, int64_t silenceFromNs) {
  silenceFromNs_ = silenceFromNs;
  silenceFrames_ = 0;
  silenceRate_ = graph_.graphRate();
  if (node_) {
    // The queue has one producer: the real-time thread must be done with it before the
    // silence starts. Detached here, and the data loop has finished any cycle in progress
    // once the blocking no-op below returns.
    node_->queue.store(nullptr, std::memory_order_release);
    const auto noop = [](spa_loop*, bool, uint32_t, const void*, size_t, void*) { return 0; };
    pw_loop_invoke(node_->dataLoop(context_), noop, 0, nullptr, 0, true, nullptr);
  }
  closeConnection();
  link_ = Link::Down;
  backoffMs_ = kFirstBackoffMs;
  retryLater(now);
  armTick(true);
}

void PipeWireSession::retryLater(int64_t now) {
  nextAttemptNs_ = now + backoffMs_ * kMs;
  backoffMs_ = std::min(2 * backoffMs_, kLongestBackoffMs);
}

void PipeWireSession::attempt(int64_t now) {
  if (!openConnection()) {  // no daemon listening yet
    retryLater(now);
    return;
  }
  // Its answer means the registry's globals have arrived: onDone then creates the node.
  pingSeq_ = pw_core_sync(core_, PW_ID_CORE, 0);
  link_ = Link::Connecting;
  nextAttemptNs_ = now + kAttemptTimeoutMs * kMs;
}

void PipeWireSession::finishReconnect() {
  const int64_t now = monotonicNs();
  // Whatever silence was still owed is given now, all of it: the node's cycles follow on.
  paceSilence(now, INT64_MAX);
  node_->queue.store(queue_, std::memory_order_release);
  pw_filter_set_active(node_->filter, true);
  link_ = Link::Up;
  audioBackNs_ = now;
  armTick(false);
}

void PipeWireSession::paceSilence(int64_t now, int64_t most) {
  const int64_t due = int64_t(double(now - silenceFromNs_) * silenceRate_ / 1e9);
  // In pieces the size of a long graph cycle: the queue wakes its thread every few pushes, so
  // a large catch-up in one push could fill the ring before its thread takes any of it.
  for (int64_t owed = std::min(due - silenceFrames_, most); owed > 0; owed -= kSilencePiece) {
    const int64_t piece = std::min(owed, kSilencePiece);
    queue_->push(nullptr, 0, uint32_t(piece), silenceRate_);  // no channels: all silence
    silenceFrames_ += piece;
  }
}

}  // namespace lorvane::audio
