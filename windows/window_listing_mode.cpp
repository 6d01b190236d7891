#include <csignal>
#include <cstdlib>

#include "report/exit_status.h"
#include "report/reply.h"
#include "windows/platform/x11_window_system.h"
#include "windows/window_listing.h"
#include "windows/window_modes.h"

namespace lorvane {

void runWindowListing(ArgList /*args*/) {
  // A parent that has stopped reading gets no reply either way; the status stays 0.
  std::signal(SIGPIPE, SIG_IGN);
  const std::unique_ptr<WindowSystem> system = makeX11WindowSystem();
  writeReply(windowListReply(system->readWindowList()));
  std::exit(kExitOk);
}

}  // namespace lorvane
