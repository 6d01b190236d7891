#pragma once

#include "main/args.h"

namespace lorvane {

enum class About { None, Version, Help };

/// "--version" or "--help" counts only as the sole argument after the program name; in any
/// other argument list it is an unknown argument like any other and changes nothing.
About aboutRequest(ArgList args);

/// When asked, prints "lorvane-tap VERSION" or the usage text on stdout and exits 0;
/// otherwise returns without a trace.
void answerAbout(ArgList args);

}  // namespace lorvane
