#pragma once

#include <cstdio>

#include "main/args.h"
#include "main/input_access.h"

namespace lorvane {

/// The probe: prints "granted" or "denied" and a line feed on `out`, asking for access only
/// when "--request" is given and access is not held yet. Returns the exit status, always 0.
int runListenAccess(ArgList args, InputAccess& access, std::FILE* out);

}  // namespace lorvane
