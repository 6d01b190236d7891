#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace lorvane {

namespace merge_sort_detail {

/// Runs shorter than this are extended by insertion sort before merging.
inline constexpr size_t kMinRun = 32;

// Length of the natural run starting at `lo`; a strictly descending run is reversed in place
// so that every run ends up non-descending.
template <typename T, typename Less>
size_t naturalRun(std::vector<T>& v, size_t lo, Less& less) {
  const size_t n = v.size();
  size_t hi = lo + 1;
  if (hi == n) return 1;
  if (less(v[hi], v[lo])) {
    while (hi + 1 < n && less(v[hi + 1], v[hi])) ++hi;
    std::reverse(v.begin() + static_cast<std::ptrdiff_t>(lo),
                 v.begin() + static_cast<std::ptrdiff_t>(hi + 1));
  } else {
    while (hi + 1 < n && !less(v[hi + 1], v[hi])) ++hi;
  }
  return hi + 1 - lo;
}

// Inserts v[sorted..hi) one by one into the sorted prefix v[lo..sorted). An element moves left
// only past elements it is strictly less than, so equal ones keep their order.
template <typename T, typename Less>
void insertionExtend(std::vector<T>& v, size_t lo, size_t sorted, size_t hi, Less& less) {
  for (size_t i = sorted; i < hi; ++i) {
    T item = std::move(v[i]);
    size_t j = i;
    while (j > lo && less(item, v[j - 1])) {
      v[j] = std::move(v[j - 1]);
      --j;
    }
    v[j] = std::move(item);
  }
}

// Merges the neighbouring runs v[lo..mid) and v[mid..hi). Each step consumes exactly one
// element, so the merge ends after hi - lo steps whatever the relation answers; on a tie the
// element of the earlier run goes first.
template <typename T, typename Less>
void mergeRuns(std::vector<T>& v, size_t lo, size_t mid, size_t hi, std::vector<T>& buffer,
               Less& less) {
  buffer.clear();
  for (size_t i = lo; i < mid; ++i) buffer.push_back(std::move(v[i]));
  size_t left = 0, right = mid, out = lo;
  while (left < buffer.size() && right < hi) {
    if (less(v[right], buffer[left])) {
      v[out++] = std::move(v[right++]);
    } else {
      v[out++] = std::move(buffer[left++]);
    }
  }
  while (left < buffer.size()) v[out++] = std::move(buffer[left++]);
  // Whatever remains of the right run is already in place.
}

}  // namespace merge_sort_detail

/// Stable merge sort over natural runs that needs nothing of `less` beyond answering: it ends,
/// stays within bounds and yields a permutation even when `less` is not a strict weak ordering
/// (for instance not transitive). Elements that compare equal keep their order.
template <typename T, typename Less>
void stableMergeSort(std::vector<T>& v, Less less) {
  namespace d = merge_sort_detail;
  const size_t n = v.size();
  if (n < 2) return;

  std::vector<std::pair<size_t, size_t>> runs;  // [begin, end)
  for (size_t lo = 0; lo < n;) {
    size_t len = d::naturalRun(v, lo, less);
    if (len < d::kMinRun && lo + len < n) {
      const size_t hi = std::min(n, lo + d::kMinRun);
      d::insertionExtend(v, lo, lo + len, hi, less);
      len = hi - lo;
    }
    runs.emplace_back(lo, lo + len);
    lo += len;
  }

  std::vector<T> buffer;
  buffer.reserve(n / 2 + 1);
  while (runs.size() > 1) {
    std::vector<std::pair<size_t, size_t>> merged;
    merged.reserve(runs.size() / 2 + 1);
    for (size_t i = 0; i < runs.size(); i += 2) {
      if (i + 1 == runs.size()) {
        merged.push_back(runs[i]);
        break;
      }
      d::mergeRuns(v, runs[i].first, runs[i].second, runs[i + 1].second, buffer, less);
      merged.emplace_back(runs[i].first, runs[i + 1].second);
    }
    runs = std::move(merged);
  }
}

}  // namespace lorvane
