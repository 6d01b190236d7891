#pragma once

#include <algorithm>
#include <optional>
#include <string>

namespace lorvane {

/// A box in normalized image coordinates: 0 to 1 across the image, origin at the lower-left
/// corner, y growing upwards. Width and height may be negative (the same area, mirrored).
struct NormalizedBox {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
};

/// One recognized line of text.
struct TextObservation {
  NormalizedBox boundingBox;
  std::optional<std::string> topCandidate;  // absent when the recognizer offers none
};

/// The vertical middle; larger lies higher in the image.
inline double midY(const TextObservation& o) {
  return o.boundingBox.y + o.boundingBox.height / 2;
}

/// The left edge, whatever the sign of the width.
inline double minX(const TextObservation& o) {
  return std::min(o.boundingBox.x, o.boundingBox.x + o.boundingBox.width);
}

}  // namespace lorvane
