#include <cstdlib>

#include "report/exit_status.h"
#include "report/reply.h"
#include "windows/platform/x11_window_system.h"
#include "windows/window_listing.h"
#include "windows/window_modes.h"

namespace lorvane {

void runWindowListing(ArgList /*args*/) {
  const std::unique_ptr<WindowSystem> system = makeX11WindowSystem();
  writeReply(windowListReply(system->readWindowList()));
  std::exit(kExitOk);
}

}  // namespace lorvane
