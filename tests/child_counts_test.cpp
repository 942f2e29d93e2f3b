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

// Room for a node's children's counts, both widths.
struct Scratch {
  explicit Scratch(size_t size) : wide(size), narrow(size) {}
  operator CountScratch() { return {wide, narrow}; }
  std::vector<unsigned __int128> wide;
  std::vector<uint64_t> narrow;
};

// The ways to place `need` in cells capped by `caps`, one at a time.
uint64_t placements(const std::vector<int32_t>& caps, size_t from, int32_t need) {
  if (from == caps.size()) return need == 0 ? 1 : 0;
  uint64_t ways = 0;
  for (int32_t v = 0; v <= std::min(need, caps[from]); ++v)
    ways += placements(caps, from + 1, need - v);
  return ways;
}

// `count` caps from 0 to 9.
std::vector<int32_t> randomCaps(std::mt19937& random, int count) {
  std::vector<int32_t> caps(static_cast<size_t>(count));
  for (int32_t& cap : caps) cap = std::uniform_int_distribution<int32_t>(0, 9)(random);
  return caps;
}

TEST(ChildCounts, EveryChildsCountIsTheNumberOfPlacementsBelowIt) {
  std::mt19937 random(5);
  for (int trial = 0; trial < 300; ++trial) {
    const std::vector<int32_t> caps =
        randomCaps(random, std::uniform_int_distribution<int>(1, 5)(random));
    const int32_t need = std::uniform_int_distribution<int32_t>(0, 30)(random);
    Scratch scratch(static_cast<size_t>(need) + 4);
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
  Scratch scratch(20001);
  ChildCounts counts(caps, 20000, scratch);
  uint64_t count = 0;
  EXPECT_FALSE(counts.at(0, count));
  ASSERT_TRUE(counts.at(20000, count));
  EXPECT_EQ(count, 1u);
  ASSERT_TRUE(counts.at(19999, count));
  EXPECT_EQ(count, 60u);
}

// A node ending the column before the last interior one: each child's count
// against the placements of the last interior column's need under every
// row's cap, the child's two changed caps included.
TEST(NextColumnCounts, EveryChildsCountIsTheNumberOfPlacementsOfTheNextColumn) {
  std::mt19937 random(11);
  for (int trial = 0; trial < 300; ++trial) {
    const std::vector<int32_t> caps =
        randomCaps(random, std::uniform_int_distribution<int>(0, 4)(random));
    const int32_t columnNeed = std::uniform_int_distribution<int32_t>(0, 25)(random);
    const int32_t rowNeed = std::uniform_int_distribution<int32_t>(0, 12)(random);
    const int32_t lastRowNeed = std::uniform_int_distribution<int32_t>(0, 12)(random);
    const int32_t need = std::uniform_int_distribution<int32_t>(0, rowNeed + lastRowNeed)(random);
    Scratch scratch(static_cast<size_t>(columnNeed) + 1);
    NextColumnCounts counts(caps, columnNeed, rowNeed, lastRowNeed, need, scratch);
    for (int32_t x = std::max(0, need - lastRowNeed); x <= std::min(need, rowNeed); ++x) {
      std::vector<int32_t> all = caps;
      all.push_back(rowNeed - x);
      all.push_back(lastRowNeed - (need - x));
      uint64_t count = 0;
      ASSERT_TRUE(counts.at(x, count));
      ASSERT_EQ(count, placements(all, 0, columnNeed)) << "trial " << trial << " x " << x;
    }
  }
}

// A product cut at 2^64 refuses every child; a count beyond 64 bits summed
// from smaller coefficients is refused on its own, its neighbours' given.
TEST(NextColumnCounts, CountsBeyondSixtyFourBitsAreRefused) {
  Scratch scratch(100001);
  const std::vector<int32_t> many(60, 20000);
  NextColumnCounts cut(many, 20000, 5, 5, 5, scratch);
  uint64_t count = 0;
  EXPECT_FALSE(cut.at(0, count));
  EXPECT_FALSE(cut.at(5, count));
  // Four rows free up to 100000: child 0 places the column in the four and
  // its own row, C(100004, 4) ways; child 50000 has far more than 2^64.
  const std::vector<int32_t> four(4, 100000);
  NextColumnCounts wide(four, 100000, 100000, 100000, 100000, scratch);
  ASSERT_TRUE(wide.at(0, count));
  EXPECT_EQ(count, 4167083347916875001ull);
  EXPECT_FALSE(wide.at(50000, count));
}

}  // namespace
}  // namespace rxc
