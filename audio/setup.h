#pragma once

#include <string>

#include "audio/audio_format.h"
#include "main/args.h"

namespace lorvane::audio {

/// Creates the tap and the aggregate device, reports the stream format and prepares the
/// converter. Returns the tap's format; on failure writes "ERROR ..." and
/// ends the process with status 2, 3 or 4 (nothing is torn down).
AudioFormat setupCapture(ArgList args);

/// Writes a setup failure's status line and ends the process with `status`, without
/// teardown and without static destructors (platform threads may be running already).
[[noreturn]] void failSetup(const std::string& line, int status);

}  // namespace lorvane::audio
