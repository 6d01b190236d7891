#pragma once

#include "main/args.h"

namespace lorvane {

enum class Mode { ListenAccess, Windows, Audio, Ocr };

/// "--listen-access" wins over everything, then "--windows"; audio unless "--ocr".
Mode selectMode(ArgList args);

/// Keeps a standard descriptor the parent left closed closed to us. Left free, its number goes
/// to the first file a library opens (PipeWire's epoll or socket, the X connection), and PCM, a
/// reply or status lines would be written into it. /dev/null opened the wrong way round takes
/// the number while every use still fails with EBADF, as on the closed descriptor.
void holdClosedStandardDescriptors();

/// The program: unbuffered stdout, "--version"/"--help" when alone, then the selected mode.
/// Never returns.
[[noreturn]] void entry(ArgList args);

}  // namespace lorvane
