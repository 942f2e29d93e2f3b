// Sorting a few values: every arrangement of short lists with repeats, and
// random lists on both sides of the length where std::sort takes over.
#include "base/small_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace rxc {
namespace {

TEST(SmallSort, EveryArrangementOfShortListsWithRepeats) {
  // Lengths 0 to 6, values from {0, 1, 2, 3}: every list of that kind.
  for (int length = 0; length <= 6; ++length) {
    int lists = 1;
    for (int k = 0; k < length; ++k) lists *= 4;
    for (int code = 0; code < lists; ++code) {
      std::vector<uint16_t> values;
      for (int k = 0, rest = code; k < length; ++k, rest /= 4) {
        values.push_back(static_cast<uint16_t>(rest % 4));
      }
      std::vector<uint16_t> expected = values;
      std::sort(expected.begin(), expected.end());
      sortSmall(values.data(), values.data() + values.size());
      ASSERT_EQ(values, expected) << "length " << length << ", list " << code;
    }
  }
}

TEST(SmallSort, RandomListsAroundTheInsertionLength) {
  std::mt19937 random(20261209);
  for (long length : {kSmallSortLength - 1, kSmallSortLength, kSmallSortLength + 1, 100L}) {
    for (int trial = 0; trial < 200; ++trial) {
      std::vector<int32_t> values(static_cast<size_t>(length));
      for (int32_t& v : values) v = static_cast<int32_t>(random() % 7);
      std::vector<int32_t> expected = values;
      std::sort(expected.begin(), expected.end());
      sortSmall(values.data(), values.data() + values.size());
      ASSERT_EQ(values, expected) << "length " << length;
    }
  }
}

}  // namespace
}  // namespace rxc
