#include "audio/start.h"

#include <fcntl.h>
#include <poll.h>
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

// Written by the signal handler, read by the main thread: a handler may run on any thread
// (PipeWire's included), and only write(2) is safe to call there.
int stopPipe[2] = {-1, -1};

extern "C" void onStopSignal(int signo) {
  const int saved = errno;
  const char byte = static_cast<char>(signo);
  [[maybe_unused]] ssize_t n = ::write(stopPipe[1], &byte, 1);
  errno = saved;
}

void installStopHandler() {
  if (pipe2(stopPipe, O_CLOEXEC) != 0) return;  // no pipe: the signals keep their default
  fcntl(stopPipe[1], F_SETFL, O_NONBLOCK);      // a handler never waits
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

  for (;;) {
    char signo = 0;
    const ssize_t n = ::read(stopPipe[0], &signo, 1);
    if (n == 1) endCapture(StopReason::Asked);  // SIGINT or SIGTERM
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) pause();  // no pipe: the signals end the process by their default action
  }
}

}  // namespace lorvane::audio
