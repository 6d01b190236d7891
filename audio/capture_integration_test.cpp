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

#include "audio/tests/tone.h"
#include "tests/support/child_process.h"

namespace lorvane::audio {
namespace {

using namespace std::chrono_literals;
using lorvane::testing::ChildOptions;
using lorvane::testing::ChildProcess;
using lorvane::testing::ExitInfo;
using lorvane::testing::runProgram;
using lorvane::testing::tapPath;
using testing::fitTone;
using testing::samplesOf;

constexpr double kFullScale = 32768.0;

std::filesystem::path workDir() {
  static const std::filesystem::path dir = [] {
    char pattern[] = "/tmp/lorvane-audio-test.XXXXXX";
    return std::filesystem::path(mkdtemp(pattern));
  }();
  return dir;
}

// A stereo 48 kHz WAV of a sine at half scale, made once with sox.
std::string toneWav(int freq, int seconds = 6) {
  const auto path = workDir() / ("tone" + std::to_string(freq) + ".wav");
  if (!std::filesystem::exists(path)) {
    const auto r = runProgram(
        "/usr/bin/sox", {"sox", "-n", "-r", "48000", "-c", "2", path, "synth",
                         std::to_string(seconds), "sine", std::to_string(freq), "vol", "0.5"});
    EXPECT_EQ(r.exit.code, 0) << r.err;
  }
  return path;
}

std::unique_ptr<ChildProcess> play(const char* player, int freq) {
  const std::string path = std::string("/usr/bin/") + player;
  return std::make_unique<ChildProcess>(path, std::vector<std::string>{player, toneWav(freq)});
}

std::unique_ptr<ChildProcess> tap(std::vector<std::string> args = {}, ChildOptions options = {}) {
  args.insert(args.begin(), "lorvane-tap");
  return std::make_unique<ChildProcess>(tapPath(), args, std::move(options));
}

// Waits until `bytes` of PCM have arrived after READY; false on timeout.
bool collect(ChildProcess& child, size_t bytes) {
  if (!child.waitForErr("READY", 5s)) return false;
  return child.waitForOutBytes(bytes, 10s);
}

// The tone's amplitude (full scale 1.0) over the PCM from `skipSeconds` on.
double amplitude(const std::string& pcm, double freq, double skipSeconds = 0.25) {
  const auto samples = samplesOf(pcm);
  const size_t skip = std::min(samples.size(), size_t(skipSeconds * 16000));
  const auto part = std::span<const int16_t>(samples).subspan(skip);
  return fitTone(part, freq, 16000.0).amplitude / kFullScale;
}

// The tone's typical amplitude: the median over 0.1 s pieces from `skipSeconds` on. A player
// that runs late under load now and then (a short gap, a jump in phase) spoils a few pieces,
// not the measure; a tone that is missing or at the wrong pitch still fails it.
double steadyAmplitude(const std::string& pcm, double freq, double skipSeconds = 0.25) {
  const auto samples = samplesOf(pcm);
  const size_t skip = std::min(samples.size(), size_t(skipSeconds * 16000));
  const auto rest = std::span<const int16_t>(samples).subspan(skip);
  std::vector<double> pieces;
  for (size_t at = 0; at + 1600 <= rest.size(); at += 1600) {
    pieces.push_back(fitTone(rest.subspan(at, 1600), freq, 16000.0).amplitude / kFullScale);
  }
  if (pieces.empty()) return 0;
  std::nth_element(pieces.begin(), pieces.begin() + pieces.size() / 2, pieces.end());
  return pieces[pieces.size() / 2];
}

std::string pwDump() {
  return runProgram("/usr/bin/pw-dump", {"pw-dump"}).out;
}

// The id of our capture node in a dump, or -1.
long captureNodeId(const std::string& dump) {
  const auto at = dump.find("\"node.name\": \"LORVANE-Tap\"");
  if (at == std::string::npos) return -1;
  const auto idAt = dump.rfind("\"id\": ", at);
  return idAt == std::string::npos ? -1 : std::strtol(dump.c_str() + idAt + 6, nullptr, 10);
}

void expectNothingLeft(long nodeId) {
  // The daemon has dropped our node and every link into it.
  const std::string dump = pwDump();
  EXPECT_EQ(dump.find("LORVANE-Tap"), std::string::npos);
  EXPECT_EQ(dump.find("\"link.input.node\": " + std::to_string(nodeId) + ","), std::string::npos);
}

// Waits until a pw-play stream is linked into the capture node (excluded players never are).
bool waitForPlayerLinked() {
  for (int i = 0; i < 50; ++i) {
    const std::string links = runProgram("/usr/bin/pw-link", {"pw-link", "-l"}).out;
    if (links.find("LORVANE-Tap:input_FL\n  |<- pw-play:output_FL") != std::string::npos) {
      return true;
    }
    std::this_thread::sleep_for(100ms);
  }
  return false;
}

// Reads `fd` until end of file, timing each read: (arrival, bytes so far).
std::vector<std::pair<std::chrono::steady_clock::time_point, size_t>> timedReads(int fd,
                                                                                 std::string& pcm) {
  std::vector<std::pair<std::chrono::steady_clock::time_point, size_t>> reads;
  char buf[65536];
  for (;;) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) return reads;
    pcm.append(buf, size_t(n));
    reads.emplace_back(std::chrono::steady_clock::now(), pcm.size());
  }
}

const std::regex kStatusLines(
    "format sr=48000\\.0 ch=2 flags=41\n(STARTED\nREADY\n|READY\nSTARTED\n)");

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

// The daemon is killed mid-capture and comes back 3 s later with new ids for everything: the
// stream never stops (silence at real-time pace meanwhile), a tone started after the restart is
// captured, and the ending is as always.
TEST(Capture, OutlivesTheDaemonKilledAndRestarted) {
  const char* control = std::getenv("LORVANE_WITH_PIPEWIRE");
  ASSERT_NE(control, nullptr) << "runs under tests/with-pipewire";
  auto t = tap();
  ASSERT_TRUE(collect(*t, 32000));
  using Clock = std::chrono::steady_clock;
  const auto killedAt = Clock::now();
  const size_t killedBytes = t->out().size();
  ASSERT_EQ(runProgram(control, {"with-pipewire", "--kill"}).exit.code, 0);
  std::this_thread::sleep_for(3s - (Clock::now() - killedAt));
  const auto restart = runProgram(control, {"with-pipewire", "--restart"});
  ASSERT_EQ(restart.exit.code, 0) << restart.err;

  auto player = play("pw-play", 440);
  const size_t toneBytes = t->out().size();
  // Within 3 s of its start the tone is in the stream, and stays there.
  ASSERT_TRUE(t->waitForOutBytes(toneBytes + 32000 * 4, 10s));
  const auto endAt = Clock::now();
  const size_t endBytes = t->out().size();
  const long node = captureNodeId(pwDump());
  t->closeStdin();
  const ExitInfo exit = t->wait(10s);
  EXPECT_TRUE(exit.exited);
  EXPECT_EQ(exit.code, 0);
  EXPECT_TRUE(std::regex_match(t->err(), kStatusLines)) << t->err();
  EXPECT_GE(node, 0);
  expectNothingLeft(node);

  const double seconds = std::chrono::duration<double>(endAt - killedAt).count();
  EXPECT_NEAR(double(endBytes - killedBytes) / seconds, 32000, 32000 * 0.05);
  const std::string pcm = t->out();
  EXPECT_GT(amplitude(pcm.substr(toneBytes + 32000 * 3, 32000), 440, 0), 0.3);
}

// End of input, SIGTERM and SIGINT: what the graph captured before the stop is written
// before the exit. The stream is continuous, so sample k was captured at t0 + k / 16000, and
// a read that ends at byte b cannot come before sample b / 2 was captured: the smallest
// arrival - b / 32000 bounds t0 from above, and the audio ends at t0 + bytes / 32000. Only
// the reads of the last half second before the stop count, so that cycles a loaded machine
// dropped earlier do not count as lost at the stop.
TEST(Capture, AStopWritesWhatWasCapturedBeforeIt) {
  auto player = play("pw-play", 440);
  const std::vector<std::pair<std::string, std::function<void(ChildProcess&)>>> stops{
      {"end of input", [](ChildProcess& c) { c.closeStdin(); }},
      {"SIGTERM", [](ChildProcess& c) { c.signal(SIGTERM); }},
      {"SIGINT", [](ChildProcess& c) { c.signal(SIGINT); }},
  };
  for (const auto& [name, stop] : stops) {
    SCOPED_TRACE(name);
    ChildOptions options;
    options.drainStdout = false;
    auto t = tap({}, options);
    std::string pcm;
    std::vector<std::pair<std::chrono::steady_clock::time_point, size_t>> reads;
    std::thread reader([&] { reads = timedReads(t->stdoutFd(), pcm); });
    std::this_thread::sleep_for(1300ms);
    const auto trigger = std::chrono::steady_clock::now();
    stop(*t);
    EXPECT_EQ(t->wait(10s).code, 0);
    reader.join();
    ASSERT_FALSE(reads.empty());
    auto t0 = trigger;
    for (const auto& [at, bytes] : reads) {
      if (at < trigger - 500ms) continue;
      t0 = std::min(t0, at - std::chrono::microseconds(bytes * 1000000 / 32000));
    }
    const auto end = t0 + std::chrono::microseconds(pcm.size() * 1000000 / 32000);
    EXPECT_LT(trigger - end, 60ms)
        << std::chrono::duration<double, std::milli>(trigger - end).count();
    // The stream ends in the tone, not in silence.
    EXPECT_GT(amplitude(pcm.substr(pcm.size() - 640), 440, 0), 0.3);
  }
}

// A stop while the reader has stalled: the flush writes what fits in its time and the
// capture callback never runs on a converter that has been drained.
TEST(Capture, AStopWithTheReaderStalledEndsInTime) {
  ChildOptions options;
  options.drainStdout = false;
  auto t = tap({}, options);
  ASSERT_TRUE(t->waitForErr("READY", 5s));
  std::this_thread::sleep_for(3s);  // the pipe is full, the backlog grows
  t->signal(SIGTERM);
  const ExitInfo exit = t->wait(10s);
  EXPECT_TRUE(exit.exited);
  EXPECT_EQ(exit.code, 0);
}

// Descriptors the parent made non-blocking: EAGAIN on stdin is no end of input, and EAGAIN
// on stdout is no gone reader; a reader that pauses past the pipe's 64 KiB loses nothing.
TEST(Capture, NonBlockingDescriptorsMeanWaiting) {
  ChildOptions options;
  options.drainStdout = false;
  options.nonBlocking = true;
  auto t = tap({}, options);
  ASSERT_TRUE(t->waitForErr("READY", 5s));
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(3s);
  std::string pcm;
  std::thread reader([&] { timedReads(t->stdoutFd(), pcm); });
  std::this_thread::sleep_for(1s);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  t->closeStdin();
  EXPECT_EQ(t->wait().code, 0);
  reader.join();
  EXPECT_GT(double(pcm.size()), 32000 * (seconds - 0.1));
  EXPECT_LT(double(pcm.size()), 32000 * (seconds + 0.3));
}

TEST(Capture, NoDaemonIsATapError) {
  ChildOptions options;
  options.env["XDG_RUNTIME_DIR"] = workDir().string();  // no PipeWire socket in there
  options.env["PIPEWIRE_REMOTE"] = std::nullopt;
  const auto r = runProgram(tapPath(), {"lorvane-tap"}, {}, options);
  EXPECT_EQ(r.exit.code, 2);
  EXPECT_TRUE(std::regex_match(r.err, std::regex("ERROR tap -[0-9]+\n"))) << r.err;
  EXPECT_EQ(r.out, "");
}

}  // namespace
}  // namespace lorvane::audio

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const int status = RUN_ALL_TESTS();
  std::filesystem::remove_all(lorvane::audio::workDir());
  return status;
}
