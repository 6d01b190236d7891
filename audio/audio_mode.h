#pragma once

#include "main/args.h"

namespace lorvane {

/// The default mode: streams the system audio mix, less the excluded processes, as 16 kHz
/// mono s16le on stdout until stdin closes, SIGINT/SIGTERM, or stdout breaks. Never returns.
[[noreturn]] void runAudioCapture(ArgList args);

}  // namespace lorvane
