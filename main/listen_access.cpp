#include "main/listen_access.h"

#include "report/exit_status.h"

namespace lorvane {

int runListenAccess(ArgList args, InputAccess& access, std::FILE* out) {
  bool granted = access.preflight();
  if (!granted && hasFlag(args, "--request")) granted = access.request();
  std::fputs(granted ? "granted\n" : "denied\n", out);
  return kExitOk;
}

}  // namespace lorvane
