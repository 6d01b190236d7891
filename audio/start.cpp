#include "audio/start.h"

#include <poll.h>
#include <semaphore.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <thread>

#include "audio/capture_state.h"
#include "audio/io_block.h"
#include "audio/setup.h"
#include "audio/teardown.h"
#include "report/exit_status.h"
#include "report/status_line.h"

namespace lorvane::audio {
namespace {

// Posted by the signal handler, awaited by the main thread: a handler may run on any thread
// (PipeWire's included), and sem_post is async-signal-safe. Unlike a self-pipe it needs no
// descriptor, so the stop path cannot be missing when the descriptor limit has been reached.
sem_t stopAsked;

extern "C" void onStopSignal(int /*signo*/) {
  const int saved = errno;
  sem_post(&stopAsked);
  errno = saved;
}

void installStopHandler() {
  sem_init(&stopAsked, 0, 0);  // cannot fail: process-private, initial value 0
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

// Reads and discards stdin, waiting whenever a non-blocking descriptor has nothing yet; end of
// file (or a read error) ends the capture.
[[noreturn]] void stdinWatcher() {
  char buf[4096];
  for (;;) {
    const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
    if (n > 0) continue;  // content is ignored
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd p{STDIN_FILENO, POLLIN, 0};
      poll(&p, 1, -1);
      continue;
    }
    // End of file; a descriptor that cannot be read counts as closed.
    endCapture(StopReason::Asked);
  }
}

}  // namespace

void runCapture(ArgList args, AudioPlatform& audio) {
  platform = &audio;
  const AudioFormat tapFmt = setupCapture(args);

  // Lives until `_exit`, like the queue below.
  stdoutHandle = new PcmOutput(STDOUT_FILENO, readerGone);

  queue = new TapQueue();
  IOProcID procID = 0;
  announced = false;
  const OSStatus ioProc = platform->createIOProcID(
      aggID, *queue, [tapFmt](const AudioBufferList& input) { ioBlock(tapFmt, input); }, procID);
  if (ioProc != 0 || procID == 0) failSetup("ERROR ioproc " + std::to_string(ioProc), kExitIoProc);

  if (const OSStatus status = platform->deviceStart(aggID, procID); status != 0) {
    failSetup("ERROR start " + std::to_string(status), kExitStart);
  }

  installStopHandler();
  log("STARTED");
  std::thread(stdinWatcher).detach();

  // SIGINT or SIGTERM; sem_wait returns early only when a signal interrupts it.
  while (sem_wait(&stopAsked) != 0) {
  }
  endCapture(StopReason::Asked);
}

}  // namespace lorvane::audio
