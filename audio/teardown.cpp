#include "audio/teardown.h"

#include <unistd.h>

#include <atomic>

#include "audio/setup.h"
#include "report/exit_status.h"

namespace lorvane::audio {

void endCapture() {
  static std::atomic<bool> ending{false};
  if (ending.exchange(true)) {
    for (;;) pause();
  }
  cleanup();
  // Every line and sample was written with write(2): nothing is left in a buffer. _exit
  // skips the static destructors that PipeWire's threads could still be using.
  _exit(kExitOk);
}

}  // namespace lorvane::audio
