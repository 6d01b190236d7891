#pragma once

#include <string>
#include <vector>

#include "windows/text_observation.h"

namespace lorvane {

/// True when `a` is read before `b`: the higher line first; within one line (vertical middles
/// at most 0.01 of the image height apart, or incomparable) the one further left. Not a strict
/// weak ordering: the tolerance makes "same line" non-transitive.
bool readingOrder(const TextObservation& a, const TextObservation& b);

/// Sorts the observations (given in the recognizer's order) stably by `readingOrder` and joins
/// the candidate texts with "\n". Observations without a candidate add no line.
std::string assembleText(std::vector<TextObservation> observations);

}  // namespace lorvane
