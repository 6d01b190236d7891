#include "audio/start.h"

#include <unistd.h>

#include <cerrno>
#include <thread>

#include "audio/capture_state.h"
#include "audio/io_block.h"
#include "audio/setup.h"
#include "audio/tap_queue.h"
#include "audio/teardown.h"
#include "report/exit_status.h"
#include "report/status_line.h"

namespace lorvane::audio {
sigset_t blockStopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  return set;
}

void onSignal(int /*signo*/) {
  endCapture();
}

void stdinWatcher() {
  char buf[4096];
  for (;;) {
    const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
    if (n > 0) continue;  // content is ignored
    if (n < 0 && errno == EINTR) continue;
    endCapture();  // end of file; a descriptor that cannot be read counts as closed
  }
}

void startCapture(const AudioFormat& tapFmt, const sigset_t& stopSignals) {
  // A closed stdout must show up as a failed write, not kill the process.
  signal(SIGPIPE, SIG_IGN);
  stdoutHandle = new PcmOutput(STDOUT_FILENO, [] { endCapture(); });

  auto* queue = new TapQueue("lorvane.tap");
  IOProcID procID = 0;
  announced = false;
  err = platform->createIOProcID(
      aggID, *queue, [tapFmt](const AudioBufferList& input) { ioBlock(tapFmt, input); }, procID);
  if (err != 0 || procID == 0) failSetup("ERROR ioproc " + std::to_string(err), kExitIoProc);

  err = platform->deviceStart(aggID, procID);
  if (err != 0) failSetup("ERROR start " + std::to_string(err), kExitStart);

  log("STARTED");
  std::thread(stdinWatcher).detach();

  for (;;) {
    int signo = 0;
    if (sigwait(&stopSignals, &signo) == 0) onSignal(signo);
  }
}

void runCapture(ArgList args, AudioPlatform& audio) {
  const sigset_t stopSignals = blockStopSignals();
  platform = &audio;
  const AudioFormat tapFmt = setupCapture(args);
  startCapture(tapFmt, stopSignals);
}

}  // namespace lorvane::audio
