#include "windows/merge_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace lorvane {
namespace {

// An element that knows when it has been moved from, so that a comparison of a stale slot
// (a read outside the live data) is caught.
struct Item {
  int key = 0;
  int id = -1;
  Item() = default;
  Item(int k, int i) : key(k), id(i) {}
  Item(const Item&) = default;
  Item& operator=(const Item&) = default;
  Item(Item&& o) noexcept : key(o.key), id(o.id) { o.id = -1; }
  Item& operator=(Item&& o) noexcept {
    key = o.key;
    id = o.id;
    o.id = -1;
    return *this;
  }
};

std::vector<Item> items(const std::vector<int>& keys) {
  std::vector<Item> v;
  for (size_t i = 0; i < keys.size(); ++i) v.emplace_back(keys[i], static_cast<int>(i));
  return v;
}

void expectPermutation(const std::vector<Item>& v, size_t n) {
  ASSERT_EQ(v.size(), n);
  std::vector<int> ids;
  for (const Item& it : v) ids.push_back(it.id);
  std::sort(ids.begin(), ids.end());
  for (size_t i = 0; i < n; ++i) ASSERT_EQ(ids[i], static_cast<int>(i));
}

TEST(StableMergeSort, SortsAndKeepsEqualKeysInOrder) {
  std::mt19937 rng(7);
  for (size_t n : {0u, 1u, 2u, 3u, 31u, 32u, 33u, 64u, 65u, 100u, 257u, 1000u}) {
    for (int keyRange : {2, 10, 1000}) {
      std::vector<int> keys(n);
      for (int& k : keys) k = static_cast<int>(rng() % keyRange);
      auto v = items(keys);
      stableMergeSort(v, [](const Item& a, const Item& b) { return a.key < b.key; });
      expectPermutation(v, n);
      for (size_t i = 1; i < v.size(); ++i) {
        ASSERT_LE(v[i - 1].key, v[i].key) << "n=" << n;
        if (v[i - 1].key == v[i].key) {
          ASSERT_LT(v[i - 1].id, v[i].id) << "n=" << n;
        }
      }
    }
  }
}

TEST(StableMergeSort, NaturalRunsAscendingDescendingAndSawtooth) {
  for (size_t n : {5u, 40u, 300u}) {
    std::vector<int> up(n), down(n), saw(n);
    for (size_t i = 0; i < n; ++i) {
      up[i] = static_cast<int>(i);
      down[i] = static_cast<int>(n - i);
      saw[i] = static_cast<int>(i % 50 < 25 ? i % 50 : 50 - i % 50);
    }
    for (const auto& keys : {up, down, saw}) {
      auto v = items(keys);
      stableMergeSort(v, [](const Item& a, const Item& b) { return a.key < b.key; });
      expectPermutation(v, n);
      for (size_t i = 1; i < n; ++i) {
        ASSERT_LE(v[i - 1].key, v[i].key);
        if (v[i - 1].key == v[i].key) {
          ASSERT_LT(v[i - 1].id, v[i].id);
        }
      }
    }
  }
}

// Any answer at all, even contradictory ones (a < b and b < a): the sort must end after a
// bounded number of comparisons, only ever compare live elements and return a permutation.
TEST(StableMergeSort, ArbitraryRelationsEndInBoundsWithAPermutation) {
  std::mt19937 rng(11);
  for (size_t n : {2u, 7u, 33u, 70u, 500u}) {
    for (int round = 0; round < 20; ++round) {
      std::vector<std::vector<bool>> table(n, std::vector<bool>(n));
      for (auto& row : table)
        for (size_t j = 0; j < n; ++j) row[j] = rng() % 2 == 0;
      size_t calls = 0;
      bool stale = false;
      auto v = items(std::vector<int>(n, 0));
      stableMergeSort(v, [&](const Item& a, const Item& b) {
        ++calls;
        if (a.id < 0 || b.id < 0 || a.id >= static_cast<int>(n) || b.id >= static_cast<int>(n)) {
          stale = true;
          return false;
        }
        return bool(table[a.id][b.id]);
      });
      ASSERT_FALSE(stale);
      expectPermutation(v, n);
      const double bound = n * (32.0 + 2.0 * std::log2(double(n)) + 2);
      ASSERT_LE(double(calls), bound) << "n=" << n;
    }
  }
}

// Same-line chains: keys 0.500, 0.508, 0.516, ... where neighbours are "equal" under a
// tolerance but the ends are not.
TEST(StableMergeSort, ToleranceChainsEndAndKeepEveryElement) {
  std::mt19937 rng(3);
  for (size_t n : {3u, 40u, 200u}) {
    std::vector<double> mids(n);
    for (size_t i = 0; i < n; ++i) mids[i] = 0.5 + 0.008 * static_cast<double>(rng() % n);
    auto v = items(std::vector<int>(n, 0));
    size_t calls = 0;
    stableMergeSort(v, [&](const Item& a, const Item& b) {
      ++calls;
      EXPECT_GE(a.id, 0);
      EXPECT_GE(b.id, 0);
      const double d = mids[a.id] - mids[b.id];
      return std::fabs(d) > 0.01 && d > 0;
    });
    expectPermutation(v, n);
    ASSERT_LE(double(calls), n * (34.0 + 2.0 * std::log2(double(n))));
  }
}

}  // namespace
}  // namespace lorvane
