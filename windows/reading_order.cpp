#include "windows/reading_order.h"

#include <cmath>

#include "windows/merge_sort.h"

namespace lorvane {

bool readingOrder(const TextObservation& a, const TextObservation& b) {
  const double d = midY(a) - midY(b);
  if (std::fabs(d) > 0.01) return midY(a) > midY(b);
  return minX(a) < minX(b);  // one line (NaN included): left to right
}

std::string assembleText(std::vector<TextObservation> observations) {
  stableMergeSort(observations, readingOrder);
  std::string text;
  bool first = true;
  for (const TextObservation& o : observations) {
    if (!o.topCandidate) continue;
    if (!first) text += '\n';
    text += *o.topCandidate;
    first = false;
  }
  return text;
}

}  // namespace lorvane
