#include "audio/platform/pipewire_session.h"

// The PipeWire side of the outage rules (outage_watch.h): the tick's timer on the loop, pings
// as core syncs, connections opened and closed, and silence pushed into the queue. All of it on
// the loop thread.

namespace lorvane::audio {
namespace {

constexpr int64_t kMs = 1000000;

}  // namespace

void PipeWireSession::watch() {
  const auto onTick = [](void* data, uint64_t /*expirations*/) {
    static_cast<PipeWireSession*>(data)->watch_.tick();
  };
  tick_ = pw_loop_add_timer(pw_thread_loop_get_loop(loop_), onTick, this);
  watch_.start();
}

int64_t PipeWireSession::now() {
  return monotonicNs();
}

int64_t PipeWireSession::lastCycleNs() {
  return node_ ? node_->lastCycleNs.load(std::memory_order_relaxed) : 0;
}

void PipeWireSession::armTick(int64_t everyMs) {
  if (tick_ == nullptr) return;
  // Runs now (a zero value would disarm the timer), then every `everyMs`.
  timespec now{0, 1};
  timespec interval{everyMs / 1000, (everyMs % 1000) * kMs};
  pw_loop_update_timer(pw_thread_loop_get_loop(loop_), tick_, &now, &interval, false);
}

void PipeWireSession::ping() {
  pingSeq_ = pw_core_sync(core_, PW_ID_CORE, 0);
}

bool PipeWireSession::open() {
  return openConnection();
}

void PipeWireSession::close(bool detach) {
  if (detach && node_) {
    // The queue has one producer: the real-time thread must be done with it before the
    // silence starts. Detached here, and the data loop has finished any cycle in progress
    // once the blocking no-op below returns.
    node_->queue.store(nullptr, std::memory_order_release);
    const auto noop = [](spa_loop*, bool, uint32_t, const void*, size_t, void*) { return 0; };
    pw_loop_invoke(node_->dataLoop(context_), noop, 0, nullptr, 0, true, nullptr);
  }
  closeConnection();
}

void PipeWireSession::resume() {
  node_->queue.store(queue_, std::memory_order_release);
  pw_filter_set_active(node_->filter, true);
}

void PipeWireSession::pushSilence(uint32_t frames, double rate) {
  queue_->push(nullptr, 0, frames, rate);  // no channels: all silence
}

double PipeWireSession::graphRate() {
  return graph_.graphRate();
}

}  // namespace lorvane::audio
