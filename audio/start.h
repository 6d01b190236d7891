#pragma once

#include "audio/audio_platform.h"
#include "main/args.h"

namespace lorvane::audio {

/// The whole audio mode on `audio`: the setup (setupCapture), then registers ioBlock on
/// "lorvane.tap", starts the device, installs the SIGINT/SIGTERM handler, writes "STARTED",
/// watches stdin and waits for a stop signal on the main thread. Until the handler is installed
/// both signals keep their default action: the process ends at once, and the daemon removes
/// what the connection made. Failures write "ERROR ioproc"/"ERROR start" and exit 5/6. Never
/// returns.
[[noreturn]] void runCapture(ArgList args, AudioPlatform& audio);

}  // namespace lorvane::audio
