#pragma once

#include <chrono>

namespace lorvane::audio {

/// What ends a running capture. A stop the parent asks for (end of input, SIGINT, SIGTERM)
/// first writes out what was captured before it; a reader that has gone leaves nothing to
/// write to.
enum class StopReason { Asked, ReaderGone };

/// From the trigger to the exit: what the queue holds and the converter's tail go out within
/// this time, or as much of them as the reader takes; the teardown follows.
inline constexpr std::chrono::milliseconds kFlushBudget{200};

/// The one way out of a running capture: the first caller writes out what was captured (for
/// StopReason::Asked), destroys the aggregate device, then the tap (statuses ignored), and ends
/// the process with status 0; any caller after it waits until the process is gone, so the
/// teardown runs exactly once whichever triggers coincide. The teardown waits on the PipeWire
/// loop and on the "lorvane.tap" thread, so it must never be reached from the loop's thread or
/// the real-time thread, and a stop that was asked for never from "lorvane.tap".
[[noreturn]] void endCapture(StopReason why);

}  // namespace lorvane::audio
