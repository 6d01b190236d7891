#include <unistd.h>

#include <system_error>
#include <thread>

#include "report/exit_status.h"
#include "report/reply.h"
#include "windows/ocr_target.h"
#include "windows/ocr_task.h"
#include "windows/window_modes.h"
#include "windows/window_systems.h"

namespace lorvane {

void runTextCapture(ArgList args) {
  const std::set<int32_t> excluded = excludedPIDs(args, static_cast<int32_t>(getppid()));

  std::unique_ptr<WindowSystem> windows = openWindowSystem();
  if (!windows->preflightScreenCapture()) {
    windows->requestScreenCapture();
    writeReply(errorReply("screen-access"));
    std::exit(kExitOk);
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
