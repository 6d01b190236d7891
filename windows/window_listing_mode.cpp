#include <cstdlib>

#include "report/exit_status.h"
#include "report/reply.h"
#include "windows/window_listing.h"
#include "windows/window_modes.h"
#include "windows/window_systems.h"

namespace lorvane {

void runWindowListing(ArgList /*args*/) {
  const std::unique_ptr<WindowSystem> system = openWindowSystem();
  writeReply(windowListReply(system->readWindowList()));
  std::exit(kExitOk);
}

}  // namespace lorvane
