#pragma once

#include <string>

#include "windows/image.h"

namespace lorvane {

/// Writes images to files.
class PngWriter {
 public:
  virtual ~PngWriter() = default;
  /// Writes `image` as a PNG file at `path`; false when it cannot be written.
  virtual bool writePng(const Image& image, const std::string& path) = 0;
};

}  // namespace lorvane
