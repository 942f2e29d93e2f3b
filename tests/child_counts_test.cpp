// The children's counts of a node in the last interior column found from one
// product (child_counts.h) against the ways counted one by one: every
// placement of what the column needs under the rows' caps.
#include "engine/condition/child_counts.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace rxc {
namespace {

// The ways to place `need` in cells capped by `caps`, one at a time.
uint64_t placements(const std::vector<int32_t>& caps, size_t from, int32_t need) {
  if (from == caps.size()) return need == 0 ? 1 : 0;
  uint64_t ways = 0;
  for (int32_t v = 0; v <= std::min(need, caps[from]); ++v)
    ways += placements(caps, from + 1, need - v);
  return ways;
}

TEST(ChildCounts, EveryChildsCountIsTheNumberOfPlacementsBelowIt) {
  std::mt19937 random(5);
  for (int trial = 0; trial < 300; ++trial) {
    const int rows = std::uniform_int_distribution<int>(1, 5)(random);
    std::vector<int32_t> caps(static_cast<size_t>(rows));
    for (int32_t& cap : caps) cap = std::uniform_int_distribution<int32_t>(0, 9)(random);
    const int32_t need = std::uniform_int_distribution<int32_t>(0, 30)(random);
    std::vector<ChildCounts::Wide> scratch(static_cast<size_t>(need) + 4);
    ChildCounts counts(caps, need, scratch);
    for (int32_t x = 0; x <= need; ++x) {
      uint64_t count = 0;
      ASSERT_TRUE(counts.at(x, count));
      ASSERT_EQ(count, placements(caps, 0, need - x)) << "trial " << trial << " x " << x;
    }
  }
}

// 60 rows each taking up to 20000 of a need of 20000: counts far beyond 64
// bits are refused, the small ones near the ends still given.
TEST(ChildCounts, CountsBeyondSixtyFourBitsAreRefused) {
  const std::vector<int32_t> caps(60, 20000);
  std::vector<ChildCounts::Wide> scratch(20001);
  ChildCounts counts(caps, 20000, scratch);
  uint64_t count = 0;
  EXPECT_FALSE(counts.at(0, count));
  ASSERT_TRUE(counts.at(20000, count));
  EXPECT_EQ(count, 1u);
  ASSERT_TRUE(counts.at(19999, count));
  EXPECT_EQ(count, 60u);
}

}  // namespace
}  // namespace rxc
