#include "main/dispatch.h"

#include <fcntl.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "audio/audio_mode.h"
#include "main/about.h"
#include "main/listen_access.h"
#include "main/platform/linux_input_access.h"
#include "windows/window_modes.h"

namespace lorvane {

void holdClosedStandardDescriptors() {
  for (const int fd : {0, 1, 2}) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);  // the lowest free number: fd itself
    }
  }
}

Mode selectMode(ArgList args) {
  if (hasFlag(args, "--listen-access")) return Mode::ListenAccess;
  if (hasFlag(args, "--windows")) return Mode::Windows;
  return hasFlag(args, "--ocr") ? Mode::Ocr : Mode::Audio;
}

void entry(ArgList args) {
  holdClosedStandardDescriptors();
  // A signal mask is inherited across exec: a parent that blocks SIGINT and SIGTERM for its
  // own use (sigwait, signalfd) would otherwise leave no way to stop capture by signal.
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  sigprocmask(SIG_UNBLOCK, &stops, nullptr);  // before any thread: they all inherit it
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  // For every mode, the probe included: a parent that stops reading turns a write into a
  // failed write, never a death by SIGPIPE.
  std::signal(SIGPIPE, SIG_IGN);
  answerAbout(args);  // "--version" or "--help" alone; any other list runs a mode
  switch (selectMode(args)) {
    case Mode::ListenAccess: {
      LinuxInputAccess access;
      std::exit(runListenAccess(args, access, stdout));
    }
    case Mode::Windows:
      runWindowListing(args);
    case Mode::Audio:
      runAudioCapture(args);
    case Mode::Ocr:
      runTextCapture(args);
  }
  std::abort();  // unreachable: every mode ends the process
}

}  // namespace lorvane
