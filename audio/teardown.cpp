#include "audio/teardown.h"

#include <unistd.h>

#include <atomic>

#include "audio/capture_state.h"
#include "audio/io_block.h"
#include "report/exit_status.h"

namespace lorvane::audio {
namespace {

std::atomic<bool> ending{false};

[[noreturn]] void finish(StopReason why) {
  if (why == StopReason::Asked) {
    // Everything the graph handed over before the stop: the queue gives its frames to ioBlock,
    // the converter its tail, and the output writes all of it while the reader takes it.
    const auto deadline = std::chrono::steady_clock::now() + kFlushBudget;
    if (queue != nullptr) queue->flush(drainConverter, deadline);
    if (stdoutHandle != nullptr) stdoutHandle->drain(kReaderPatience);
  }
  platform->destroyAggregateDevice(aggID);
  platform->destroyProcessTap(tapID);
  // Every line and sample was written with write(2): nothing is left in a buffer. _exit
  // skips the static destructors that PipeWire's threads could still be using.
  _exit(kExitOk);
}

}  // namespace

void endCapture(StopReason why) {
  if (ending.exchange(true)) {
    for (;;) pause();
  }
  finish(why);
}

void readerGone() {
  if (!ending.exchange(true)) finish(StopReason::ReaderGone);
}

}  // namespace lorvane::audio
