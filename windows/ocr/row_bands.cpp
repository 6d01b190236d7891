#include "windows/ocr/row_bands.h"

#include <cstddef>

namespace lorvane {

std::vector<RowBand> splitIntoBands(const GrayImage& gray, uint8_t paper, int parts,
                                    int64_t minHeight) {
  std::vector<RowBand> bands;
  if (gray.height <= 0) return bands;
  std::vector<bool> blank(static_cast<size_t>(gray.height));
  for (int64_t y = 0; y < gray.height; ++y) blank[y] = !isInkRow(gray, y, paper);

  int64_t top = 0;
  for (int i = 1; i < parts; ++i) {
    const int64_t ideal = gray.height * i / parts;
    // The blank row nearest to the even split, searching both ways.
    int64_t cut = -1;
    for (int64_t d = 0; d < gray.height && cut < 0; ++d) {
      if (ideal - d > top && blank[ideal - d])
        cut = ideal - d;
      else if (ideal + d < gray.height && blank[ideal + d])
        cut = ideal + d;
    }
    if (cut < 0 || cut - top < minHeight || gray.height - cut < minHeight) continue;
    bands.push_back({top, cut});
    top = cut;
  }
  bands.push_back({top, gray.height});
  return bands;
}

}  // namespace lorvane
