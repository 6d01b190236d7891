#include <unistd.h>

#include <csignal>
#include <system_error>
#include <thread>

#include "report/reply.h"
#include "windows/ocr_target.h"
#include "windows/ocr_task.h"
#include "windows/platform/x11_window_system.h"
#include "windows/window_modes.h"

namespace lorvane {

void runTextCapture(ArgList args) {
  // A parent that stops reading must not turn the reply's write into a death by SIGPIPE: the
  // write fails quietly and the status stays 0.
  std::signal(SIGPIPE, SIG_IGN);
  const std::set<int32_t> excluded = excludedPIDs(args, static_cast<int32_t>(getppid()));

  std::unique_ptr<WindowSystem> windows = makeX11WindowSystem();
  if (!windows->preflightScreenCapture()) {
    windows->requestScreenCapture();
    writeReply(errorReply("screen-access"));
    std::exit(0);
  }
  const uint32_t target = selectOcrWindow(windows->readWindowList(), excluded);

  // The task owns everything from here on and ends the process; this thread only waits.
  // Ownership passes by hand so that a failed thread start still leaves the window system.
  WindowSystem* system = windows.release();
  auto task = [target, args, system] {
    ocrTask(target, args, std::unique_ptr<WindowSystem>(system));
  };
  try {
    std::thread(task).detach();
  } catch (const std::system_error&) {
    task();  // no thread to be had: run it here
  }
  for (;;) pause();
}

}  // namespace lorvane
