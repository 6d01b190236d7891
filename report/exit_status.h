#pragma once

namespace lorvane {

/// Every exit status the program produces. 1 is never used: the parent treats any
/// status outside this table as a crash.
enum ExitStatus : int {
  kExitOk = 0,         // every orderly end, error replies included
  kExitTap = 2,        // "ERROR tap"
  kExitAggregate = 3,  // "ERROR aggregate"
  kExitFormat = 4,     // "ERROR format"
  kExitIoProc = 5,     // "ERROR ioproc"
  kExitStart = 6,      // "ERROR start"
};

}  // namespace lorvane
