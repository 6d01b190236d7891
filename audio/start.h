#pragma once

#include <csignal>

#include "audio/audio_format.h"
#include "audio/audio_platform.h"
#include "main/args.h"

namespace lorvane::audio {

/// Blocks SIGINT and SIGTERM in the calling thread and in every thread started after it, so
/// that they are only ever taken by sigwait() on the main thread. Called first thing.
sigset_t blockStopSignals();

/// Starts the capture with the state the setup made: registers ioBlock on "lorvane.tap",
/// starts the device, writes "STARTED", watches stdin and waits for SIGINT/SIGTERM on the
/// main thread. Failures write "ERROR ioproc"/"ERROR start" and exit 5/6. Never returns.
[[noreturn]] void startCapture(const AudioFormat& tapFmt, const sigset_t& stopSignals);

/// SIGINT or SIGTERM, taken on the main thread: teardown, status 0.
[[noreturn]] void onSignal(int signo);

/// Reads and discards stdin; end of file (or a read error) ends the capture.
[[noreturn]] void stdinWatcher();

/// The whole audio mode on `audio`: setup, start, run. Never returns.
[[noreturn]] void runCapture(ArgList args, AudioPlatform& audio);

}  // namespace lorvane::audio
