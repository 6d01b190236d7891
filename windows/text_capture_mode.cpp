#include "windows/window_modes.h"

#include <cstdlib>

#include "report/reply.h"

namespace lorvane {

void runTextCapture(ArgList /*args*/) {
  writeReply(errorReply("no-window"));
  std::exit(0);
}

}  // namespace lorvane
