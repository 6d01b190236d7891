#pragma once

#include "main/args.h"

namespace lorvane {

enum class Mode { ListenAccess, Windows, Audio, Ocr };

/// "--listen-access" wins over everything, then "--windows"; audio unless "--ocr".
Mode selectMode(ArgList args);

/// The program: unbuffered stdout, "--version"/"--help" when alone, then the selected mode.
/// Never returns.
[[noreturn]] void entry(ArgList args);

}  // namespace lorvane
