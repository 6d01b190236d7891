#pragma once

#include "main/args.h"

namespace lorvane {

/// "--windows": one JSON array of the visible application windows, front-most first.
[[noreturn]] void runWindowListing(ArgList args);

/// "--ocr": the text of the front-most sizeable window of another application, as one JSON
/// reply. Never returns.
[[noreturn]] void runTextCapture(ArgList args);

}  // namespace lorvane
