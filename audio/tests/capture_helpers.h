// Shared by the tests that run lorvane-tap against a real private PipeWire session
// (tests/with-pipewire): players of known pids, the helper as a child, tones in its PCM.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "audio/tests/tone.h"
#include "tests/support/child_process.h"

namespace lorvane::audio::capture_test {

using namespace std::chrono_literals;
using lorvane::testing::ChildOptions;
using lorvane::testing::ChildProcess;
using lorvane::testing::ExitInfo;
using lorvane::testing::runProgram;
using lorvane::testing::tapPath;
using testing::fitTone;
using testing::samplesOf;

constexpr double kFullScale = 32768.0;

inline std::filesystem::path workDir() {
  static const std::filesystem::path dir = [] {
    char pattern[] = "/tmp/lorvane-audio-test.XXXXXX";
    return std::filesystem::path(mkdtemp(pattern));
  }();
  return dir;
}

// A stereo 48 kHz WAV of a sine at half scale, made once with sox.
inline std::string toneWav(int freq, int seconds = 6) {
  const auto path = workDir() / ("tone" + std::to_string(freq) + ".wav");
  if (!std::filesystem::exists(path)) {
    const auto r = runProgram(
        "/usr/bin/sox", {"sox", "-n", "-r", "48000", "-c", "2", path, "synth",
                         std::to_string(seconds), "sine", std::to_string(freq), "vol", "0.5"});
    EXPECT_EQ(r.exit.code, 0) << r.err;
  }
  return path;
}

inline std::unique_ptr<ChildProcess> play(const char* player, int freq) {
  const std::string path = std::string("/usr/bin/") + player;
  return std::make_unique<ChildProcess>(path, std::vector<std::string>{player, toneWav(freq)});
}

inline std::unique_ptr<ChildProcess> tap(std::vector<std::string> args = {},
                                         ChildOptions options = {}) {
  args.insert(args.begin(), "lorvane-tap");
  return std::make_unique<ChildProcess>(tapPath(), args, std::move(options));
}

// Waits until `bytes` of PCM have arrived after READY; false on timeout.
inline bool collect(ChildProcess& child, size_t bytes) {
  if (!child.waitForErr("READY", 5s)) return false;
  return child.waitForOutBytes(bytes, 10s);
}

// The tone's amplitude (full scale 1.0) over the PCM from `skipSeconds` on.
inline double amplitude(const std::string& pcm, double freq, double skipSeconds = 0.25) {
  const auto samples = samplesOf(pcm);
  const size_t skip = std::min(samples.size(), size_t(skipSeconds * 16000));
  const auto part = std::span<const int16_t>(samples).subspan(skip);
  return fitTone(part, freq, 16000.0).amplitude / kFullScale;
}

// The tone's typical amplitude: the median over 0.1 s pieces from `skipSeconds` on. A player
// that runs late under load now and then (a short gap, a jump in phase) spoils a few pieces,
// not the measure; a tone that is missing or at the wrong pitch still fails it.
inline double steadyAmplitude(const std::string& pcm, double freq, double skipSeconds = 0.25) {
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

inline std::string pwDump() {
  return runProgram("/usr/bin/pw-dump", {"pw-dump"}).out;
}

// The id of our capture node in a dump, or -1.
inline long captureNodeId(const std::string& dump) {
  const auto at = dump.find("\"node.name\": \"LORVANE-Tap\"");
  if (at == std::string::npos) return -1;
  const auto idAt = dump.rfind("\"id\": ", at);
  return idAt == std::string::npos ? -1 : std::strtol(dump.c_str() + idAt + 6, nullptr, 10);
}

inline void expectNothingLeft(long nodeId) {
  // The daemon has dropped our node and every link into it.
  const std::string dump = pwDump();
  EXPECT_EQ(dump.find("LORVANE-Tap"), std::string::npos);
  EXPECT_EQ(dump.find("\"link.input.node\": " + std::to_string(nodeId) + ","), std::string::npos);
}

// Waits until a stream of `player` is linked into the capture node (excluded players never
// are): on a loaded machine a player can take a second to start.
inline bool waitForPlayerLinked(const std::string& player = "pw-play") {
  const std::string input = "\nLORVANE-Tap:input_FL\n", from = "  |<- " + player + ":output_FL\n";
  for (int i = 0; i < 50; ++i) {
    const std::string links = runProgram("/usr/bin/pw-link", {"pw-link", "-l"}).out;
    // The ports linked into our input are listed on the "  |<- " lines that follow it.
    size_t line = ("\n" + links).find(input);  // at the start of a line
    while (line != std::string::npos) {
      line = links.find('\n', line);
      if (line == std::string::npos || links.compare(++line, 4, "  |<") != 0) break;
      if (links.compare(line, from.size(), from) == 0) return true;
    }
    std::this_thread::sleep_for(100ms);
  }
  return false;
}

// Reads `fd` until end of file, timing each read: (arrival, bytes so far).
inline std::vector<std::pair<std::chrono::steady_clock::time_point, size_t>> timedReads(
    int fd, std::string& pcm) {
  std::vector<std::pair<std::chrono::steady_clock::time_point, size_t>> reads;
  char buf[65536];
  for (;;) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) return reads;
    pcm.append(buf, size_t(n));
    reads.emplace_back(std::chrono::steady_clock::now(), pcm.size());
  }
}

inline const std::regex kStatusLines(
    "format sr=48000\\.0 ch=2 flags=41\n(STARTED\nREADY\n|READY\nSTARTED\n)");

}  // namespace lorvane::audio::capture_test
