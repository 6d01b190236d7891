// The reading-order sort with a comparison that answers whatever the input says, however
// contradictory: it must end, stay in bounds (ASan), never compare a moved-from slot, and
// leave each element exactly once.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "windows/merge_sort.h"

namespace {

struct Item {
  int id = -1;
  Item() = default;
  explicit Item(int i) : id(i) {}
  Item(const Item&) = delete;
  Item& operator=(const Item&) = delete;
  Item(Item&& o) noexcept : id(o.id) { o.id = -1; }
  Item& operator=(Item&& o) noexcept {
    id = o.id;
    o.id = -1;
    return *this;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // First two bytes: the element count (up to 600, so several runs and merges occur); the rest
  // is a stream of answers, repeated when it runs out.
  const size_t n = ((static_cast<size_t>(data[0]) << 8) | data[1]) % 601;
  const uint8_t* answers = data + 2;
  const size_t answerBytes = size - 2;
  size_t bit = 0;
  std::vector<Item> v;
  for (size_t i = 0; i < n; ++i) v.emplace_back(static_cast<int>(i));

  lorvane::stableMergeSort(v, [&](const Item& a, const Item& b) {
    if (a.id < 0 || b.id < 0) std::abort();  // a moved-from slot was read
    if (answerBytes == 0) return a.id > b.id;
    const size_t at = bit++ % (answerBytes * 8);
    return ((answers[at / 8] >> (at % 8)) & 1) != 0;
  });

  std::vector<bool> seen(n, false);
  if (v.size() != n) std::abort();
  for (const Item& item : v) {
    if (item.id < 0 || static_cast<size_t>(item.id) >= n || seen[static_cast<size_t>(item.id)]) {
      std::abort();
    }
    seen[static_cast<size_t>(item.id)] = true;
  }
  return 0;
}
