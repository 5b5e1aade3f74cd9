// The programs' qsort: sorted input left as it is, short and long unsorted tails, and
// shuffled input, against std::sort, for element sizes libtiff and others use.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "codecs/tiff_client.h"

namespace {

template <size_t N>
struct Element {
  uint32_t key;
  unsigned char rest[N - sizeof(uint32_t)];
};

template <size_t N>
int CompareKeys(const void* a, const void* b) {
  const uint32_t x = static_cast<const Element<N>*>(a)->key;
  const uint32_t y = static_cast<const Element<N>*>(b)->key;
  return x < y ? -1 : x > y;
}

// Sorts `keys` as elements of N bytes whose payload names their key, and checks that
// the result is in order and that every element kept its payload.
template <size_t N>
void CheckSorted(const std::vector<uint32_t>& keys, bool throughQsort) {
  std::vector<Element<N>> v(keys.size());
  for (size_t i = 0; i < keys.size(); ++i) {
    v[i].key = keys[i];
    std::memset(v[i].rest, int(keys[i] * 7 + 1), sizeof v[i].rest);
  }
  if (throughQsort)
    qsort(v.data(), v.size(), N, CompareKeys<N>);
  else
    pxtiff::AdaptiveSort(v.data(), v.size(), N, CompareKeys<N>);
  std::vector<uint32_t> expected = keys;
  std::sort(expected.begin(), expected.end());
  ASSERT_EQ(v.size(), expected.size());
  for (size_t i = 0; i < v.size(); ++i) {
    ASSERT_EQ(v[i].key, expected[i]) << "at " << i << " of " << v.size();
    for (unsigned char c : v[i].rest) ASSERT_EQ(c, (unsigned char)(expected[i] * 7 + 1));
  }
}

// Sorted keys, then `tail` random keys appended, as a merge of tag definitions leaves it.
std::vector<uint32_t> SortedThenTail(size_t sorted, size_t tail, std::mt19937& rng) {
  std::vector<uint32_t> keys(sorted);
  for (size_t i = 0; i < sorted; ++i) keys[i] = uint32_t(i * 3);
  std::uniform_int_distribution<uint32_t> any(0, uint32_t(sorted * 3 + 10));
  for (size_t i = 0; i < tail; ++i) keys.push_back(any(rng));
  return keys;
}

TEST(AdaptiveSort, SortsEveryShapeOfInput) {
  std::mt19937 rng(5);
  for (size_t n : {0u, 1u, 2u, 3u, 17u, 153u, 1000u}) {
    SCOPED_TRACE(n);
    for (size_t tail : {size_t(0), size_t(1), size_t(5), size_t(16), size_t(17), n / 3, n}) {
      if (tail > n) continue;
      const std::vector<uint32_t> keys = SortedThenTail(n - tail, tail, rng);
      CheckSorted<8>(keys, false);
      CheckSorted<64>(keys, false);
      CheckSorted<72>(keys, false);  // larger than what is inserted element by element
    }
    // Descending, and every key equal.
    std::vector<uint32_t> down(n);
    for (size_t i = 0; i < n; ++i) down[i] = uint32_t(n - i);
    CheckSorted<8>(down, false);
    CheckSorted<8>(std::vector<uint32_t>(n, 4), false);
  }
}

TEST(AdaptiveSort, IsTheQsortOfTheProgram) {
  std::mt19937 rng(9);
  CheckSorted<16>(SortedThenTail(150, 40, rng), true);
  // A pointer table, as libtiff keeps its tag definitions.
  std::vector<uint32_t> keys = SortedThenTail(120, 9, rng);
  std::vector<const uint32_t*> table;
  for (const uint32_t& k : keys) table.push_back(&k);
  qsort(table.data(), table.size(), sizeof table[0], [](const void* a, const void* b) {
    const uint32_t x = **static_cast<const uint32_t* const*>(a);
    const uint32_t y = **static_cast<const uint32_t* const*>(b);
    return x < y ? -1 : x > y;
  });
  EXPECT_TRUE(std::is_sorted(table.begin(), table.end(),
                             [](const uint32_t* a, const uint32_t* b) { return *a < *b; }));
}

}  // namespace
