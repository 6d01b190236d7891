#pragma once

#include <memory>

#include "windows/png_writer.h"

namespace lorvane {

/// PNG files through leptonica, which prints nothing on failure.
std::unique_ptr<PngWriter> makeLeptonicaPngWriter();

}  // namespace lorvane
