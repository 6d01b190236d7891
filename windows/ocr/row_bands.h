#pragma once

#include <cstdint>
#include <vector>

#include "windows/ocr/recognition_input.h"

namespace lorvane {

/// A run of whole rows [top, bottom).
struct RowBand {
  int64_t top = 0;
  int64_t bottom = 0;
};

/// Cuts the image into at most `parts` bands of similar height for recognition in parallel.
/// Every cut lies on a row without ink (nearest to the even split), so no text line is cut;
/// bands lower than `minHeight` are not made. Always at least one band for a non-empty image.
std::vector<RowBand> splitIntoBands(const GrayImage& gray, uint8_t paper, int parts,
                                    int64_t minHeight);

}  // namespace lorvane
