#pragma once

// Keeping the capture alive when the daemon dies, restarts or freezes: the rules, free of
// PipeWire types. Everything runs on the loop thread from one timer, the tick: every 500 ms
// while connected, every 50 ms during an outage (silence and reconnect attempts). A dead daemon
// shows as a broken connection; a frozen one only as silence from both the graph and the
// daemon. So while cycles arrive nothing is sent; once they have stopped for 250 ms, a ping
// left unanswered for a second is an outage. The watch acts only through OutageLink, so its
// timing runs against a fake connection and clock in the tests.

#include <cstdint>

namespace lorvane::audio {

/// What the outage rules ask of the connection, the capture node, the queue and the clock.
class OutageLink {
 public:
  virtual ~OutageLink() = default;
  /// CLOCK_MONOTONIC, in nanoseconds.
  virtual int64_t now() = 0;
  /// When the capture node last ran a cycle (0 if it never did, or there is no node).
  virtual int64_t lastCycleNs() = 0;
  /// Runs OutageWatch::tick() at once, then every `everyMs`.
  virtual void armTick(int64_t everyMs) = 0;
  /// Asks the daemon for an answer (OutageWatch::answered()) on the open connection; on a new
  /// one the answer also means the registry has arrived and the capture node can be made.
  virtual void ping() = 0;
  /// Opens a new connection; false when no daemon is listening.
  virtual bool open() = 0;
  /// Closes the connection with whatever it made (node, links, bindings). With `detach`, the
  /// capture node stops handing cycles to the queue first, and the real-time thread is done
  /// with the queue when it returns: from then on the watch is the queue's one producer.
  virtual void close(bool detach) = 0;
  /// The new capture node is adopted: it hands its cycles to the queue again and runs.
  virtual void resume() = 0;
  /// `frames` frames of silence at `rate` for the queue.
  virtual void pushSilence(uint32_t frames, double rate) = 0;
  /// The rate the graph runs at.
  virtual double graphRate() = 0;
};

/// The outage state of a running capture. Every method runs on the loop thread.
class OutageWatch {
 public:
  static constexpr int64_t kUpTickMs = 500;        // two wake-ups a second: the cost of watching
  static constexpr int64_t kQuietMs = 250;         // the graph may pause this long before a ping
  static constexpr int64_t kPingTimeoutMs = 1000;  // a frozen daemon answers nothing
  static constexpr int64_t kOutageTickMs = 50;
  static constexpr int64_t kFirstBackoffMs = 50;
  static constexpr int64_t kLongestBackoffMs = 2000;
  static constexpr int64_t kAttemptTimeoutMs = 1500;  // connect, registry, node and its ports
  // Silence owed from before the outage was noticed is caught up at most this much per tick
  // (6.8 times real time at 48 kHz), so the queue's ring (64 Ki frames) never overflows.
  static constexpr int64_t kMostSilencePerTick = 16384;
  // The queue wakes its thread every few pushes, so a large catch-up in one push could fill
  // the ring before its thread takes any of it: silence goes in pieces of a long graph cycle.
  static constexpr int64_t kSilencePiece = 2048;

  explicit OutageWatch(OutageLink& link) : link_(link) {}
  OutageWatch(const OutageWatch&) = delete;
  OutageWatch& operator=(const OutageWatch&) = delete;

  /// The capture has started on a working connection: watching begins.
  void start();
  /// The capture ends: no tick acts from here on.
  void stop() { running_ = false; }
  bool running() const { return running_; }
  /// The connection is working (not in an outage, not reconnecting).
  bool up() const { return phase_ == Phase::Up; }
  /// A new connection is on its way: its answer and its node are awaited.
  bool connecting() const { return phase_ == Phase::Connecting; }

  /// The timer fired.
  void tick();
  /// The daemon answered the last ping.
  void answered() { pingOut_ = false; }
  /// The connection broke, or the capture node went away or could not be made: the next tick
  /// drops the connection (never inside the event that told).
  void lost();
  /// The new connection's capture node has been adopted: the capture goes on with it.
  void reconnected();

 private:
  enum class Phase { Up, Down, Connecting };

  /// Drops the connection; silence is owed from `silenceFromNs` on.
  void beginOutage(int64_t now, int64_t silenceFromNs);
  void retryLater(int64_t now);
  void attempt(int64_t now);
  /// Pushes the silence due by `now` since the outage began, at most `most` frames of it.
  void paceSilence(int64_t now, int64_t most);

  OutageLink& link_;
  Phase phase_ = Phase::Up;
  bool running_ = false;
  bool lost_ = false;     // the connection failed; the next tick acts on it
  bool pingOut_ = false;  // a ping in flight, or the new connection's first one
  int64_t pingSentNs_ = 0;
  int64_t backoffMs_ = 0;
  int64_t nextAttemptNs_ = 0;  // Down: the next try; Connecting: the try's deadline
  int64_t silenceFromNs_ = 0;  // audio stopped here; silence is paced from it
  int64_t silenceFrames_ = 0;
  double silenceRate_ = 48000;
  int64_t audioBackNs_ = 0;  // start or the last reconnect: no cycle is older than this
};

}  // namespace lorvane::audio
