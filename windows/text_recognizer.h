#pragma once

#include <string>
#include <vector>

#include "windows/image.h"
#include "windows/outcome.h"
#include "windows/text_observation.h"

namespace lorvane {

/// Text recognition over a captured image.
class TextRecognizer {
 public:
  virtual ~TextRecognizer() = default;
  /// The recognized lines in the recognizer's own order, boxes normalized with a lower-left
  /// origin; or the recognizer's error text.
  virtual Outcome<std::vector<TextObservation>> recognize(const Image& image) = 0;
};

}  // namespace lorvane
