// The network walk's memo: subtrees kept in the order of their past whatever
// the order they come in, facts found again by key and index, and memory
// taken from the run's budget and given back, a refusal ending the memo and
// not the run.
#include "engine/condition/subtree_memo.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "base/memory_budget.h"

namespace rxc {
namespace {

std::vector<uint16_t> keyOf(uint16_t position, uint16_t need) { return {position, need, 3, 1, 4}; }

TEST(SubtreeMemo, KeepsEachKeysSubtreesInTheOrderOfTheirPast) {
  MemoryBudget budget;
  SubtreeMemo memo(&budget, uint64_t{1} << 20);
  std::mt19937 random(7);
  std::uniform_real_distribution<double> past(0.0, 50.0);
  const uint32_t a = memo.factsIndex(keyOf(1, 2));
  const uint32_t b = memo.factsIndex(keyOf(1, 3));
  ASSERT_NE(a, SubtreeMemo::kNoFacts);
  ASSERT_NE(a, b);
  EXPECT_EQ(memo.factsIndex(keyOf(1, 2)), a);
  for (int k = 0; k < 200; ++k) {
    StoredSubtree subtree;
    const double value = past(random);
    subtree.acceptedLow = value;  // to find it again beside its past
    subtree.tables = static_cast<uint64_t>(k);
    memo.insert(memo.factsAt(k % 2 == 0 ? a : b), value, subtree);
  }
  for (const uint32_t index : {a, b}) {
    const KeyFacts& facts = memo.factsAt(index);
    ASSERT_EQ(facts.stored, 100u);
    for (size_t k = 0; k < facts.stored; ++k) {
      EXPECT_EQ(memo.subtreeAt(facts, k).acceptedLow, facts.pasts[k]);
      if (k > 0) {
        EXPECT_LE(facts.pasts[k - 1], facts.pasts[k]);
      }
      EXPECT_EQ(memo.subtreeAt(facts, k).tables % 2, index == a ? 0u : 1u);
    }
  }
  // Links kept per next row's need: each key's sets found by the row alone.
  EXPECT_EQ(memo.linksFor(memo.factsAt(a), 4), KeyFacts::kNoLinks);
  const uint32_t links = memo.addLinks(memo.factsAt(a), 4, 5);
  ASSERT_NE(links, KeyFacts::kNoLinks);
  memo.link(links + 4).facts = a;
  EXPECT_EQ(memo.link(links + 4).facts, a);
  const uint32_t other = memo.addLinks(memo.factsAt(a), 6, 3);
  EXPECT_EQ(other, links + 5);
  const uint32_t ofB = memo.addLinks(memo.factsAt(b), 4, 2);
  EXPECT_EQ(memo.linksFor(memo.factsAt(a), 4), links);
  EXPECT_EQ(memo.linksFor(memo.factsAt(a), 6), other);
  EXPECT_EQ(memo.linksFor(memo.factsAt(a), 5), KeyFacts::kNoLinks);
  EXPECT_EQ(memo.linksFor(memo.factsAt(b), 4), ofB);
  EXPECT_EQ(memo.linksFor(memo.factsAt(b), 6), KeyFacts::kNoLinks);
  EXPECT_FALSE(memo.full());
}

TEST(SubtreeMemo, TakesItsMemoryFromTheBudgetAndEndsWhenRefused) {
  MemoryBudget budget(256 * 1024);
  {
    SubtreeMemo memo(&budget, uint64_t{1} << 30);
    uint16_t need = 0;
    int stored = 0;
    // Keys and subtrees until the budget refuses: then the memo is full and
    // keeps what it holds.
    while (!memo.full() && need < 60000) {
      const uint32_t index = memo.factsIndex(keyOf(2, need++));
      if (index == SubtreeMemo::kNoFacts) break;
      for (int k = 0; k < 9 && !memo.full(); ++k) {
        memo.insert(memo.factsAt(index), static_cast<double>(k), StoredSubtree{});
        ++stored;
      }
    }
    EXPECT_TRUE(memo.full());
    EXPECT_GT(stored, 50);
    EXPECT_GT(budget.used(), 128u * 1024);
    // Full, it takes nothing more, and what it holds stays.
    const uint32_t first = memo.factsIndex(keyOf(2, 0));
    ASSERT_NE(first, SubtreeMemo::kNoFacts);
    const size_t held = memo.factsAt(first).stored;
    memo.insert(memo.factsAt(first), 100.0, StoredSubtree{});
    EXPECT_EQ(memo.factsAt(first).stored, memo.full() ? held : held + 1);
    EXPECT_EQ(memo.addLinks(memo.factsAt(first), 1, 1 << 20), KeyFacts::kNoLinks);
  }
  EXPECT_EQ(budget.used(), 0u);
}

TEST(SubtreeMemo, StopsAtItsCapWithoutABudget) {
  SubtreeMemo memo(nullptr, 128 * 1024);
  const uint32_t index = memo.factsIndex(keyOf(0, 1));
  ASSERT_NE(index, SubtreeMemo::kNoFacts);
  for (int k = 0; k < 1000; ++k) {
    memo.insert(memo.factsAt(index), static_cast<double>(k), StoredSubtree{});
  }
  EXPECT_TRUE(memo.full());
  EXPECT_LT(memo.factsAt(index).stored, 1000u);
  EXPECT_GT(memo.factsAt(index).stored, 10u);
}

}  // namespace
}  // namespace rxc
