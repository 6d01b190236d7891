#pragma once

#include <chrono>

namespace lorvane::audio {

/// What ends a running capture. A stop the parent asks for (end of input, SIGINT, SIGTERM)
/// first writes out what was captured before it; a reader that has gone leaves nothing to
/// write to.
enum class StopReason { Asked, ReaderGone };

/// At a stop, the queue hands over what it holds and the converter its tail within this time
/// (work that never waits for the reader).
inline constexpr std::chrono::milliseconds kFlushBudget{1000};
/// At a stop, the output is written out while the reader keeps taking it; once the reader has
/// taken nothing for this long (counted from the stop at the earliest) the rest is given up.
inline constexpr std::chrono::milliseconds kReaderPatience{2000};

/// The one way out of a running capture: the first caller writes out what was captured (for
/// StopReason::Asked), destroys the aggregate device, then the tap (statuses ignored), and ends
/// the process with status 0; any caller after it waits until the process is gone, so the
/// teardown runs exactly once whichever triggers coincide. The teardown waits on the PipeWire
/// loop and on the "lorvane.tap" thread, so it must never be reached from the loop's thread or
/// the real-time thread, and a stop that was asked for never from "lorvane.tap".
[[noreturn]] void endCapture(StopReason why);

/// A write of samples failed: the reader has gone. Ends the capture (StopReason::ReaderGone),
/// unless a stop is already under way: then it returns, so that the stop, which waits for this
/// thread or the output, sees the failure and exits at once.
void readerGone();

}  // namespace lorvane::audio
