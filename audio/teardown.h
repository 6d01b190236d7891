#pragma once

namespace lorvane::audio {

/// The one way out of a running capture: the first caller runs cleanup() and ends the
/// process with status 0; any caller after it waits until the process is gone, so the
/// teardown runs exactly once whichever triggers coincide.
[[noreturn]] void endCapture();

}  // namespace lorvane::audio
