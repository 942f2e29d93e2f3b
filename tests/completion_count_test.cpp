#include "engine/bounds/completion_count.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "support/partial_fills.h"

namespace rxc {
namespace {

using testing::forEachCompletion;
using testing::PartialFill;
using Count = unsigned __int128;

uint64_t bruteForceCount(const OpenCells& open) {
  const std::vector<double> lf = testing::logFactorials(400);
  uint64_t n = 0;
  forEachCompletion(open, lf, [&](double) { ++n; });
  return n;
}

// Every depth of random partial fills, both forms of a column boundary, the
// whole problem included, zeros among the needs and all-equal margins; one
// counter per problem, as one per pass.
TEST(CompletionCounter, MatchesBruteForceOnRandomPartialFills) {
  std::mt19937 random(7);
  int shapes = 0;
  for (int trial = 0; trial < 150; ++trial) {
    const int r = 2 + static_cast<int>(random() % 5);
    const int c = 2 + static_cast<int>(random() % 5);
    const bool equal = trial % 3 == 2;
    const int size = std::min(r, c);
    // Small enough totals that the brute force stays quick.
    const std::vector<int32_t> cells =
        equal        ? testing::randomEqualMarginTable(random, size, size >= 5 ? 2 : 3)
        : r * c > 16 ? testing::randomSparseTable(random, r, c, r + c + 2)
                     : testing::randomTable(random, r, c, 2);
    const int rows = equal ? size : r;
    const int cols = equal ? size : c;
    const PartialFill whole(cells, rows, cols, 0, false);
    CompletionCounter counter(whole.colMargin);
    for (int fixed = 0; fixed <= (rows - 1) * (cols - 1); ++fixed) {
      for (bool fold : {false, true}) {
        const PartialFill fill(cells, rows, cols, fixed, fold);
        const CompletionCount n = counter.count(fill.open);
        ASSERT_TRUE(n.exact());
        ASSERT_EQ(static_cast<uint64_t>(n.value), bruteForceCount(fill.open))
            << rows << "x" << cols << " fixed " << fixed << " fold " << fold;
        ++shapes;
      }
    }
  }
  EXPECT_GT(shapes, 1000);
}

uint64_t wholeProblem(int size, int32_t margin) {
  const std::vector<int32_t> needs(static_cast<size_t>(size), margin);
  CompletionCounter counter(needs);
  const CompletionCount n = counter.count({size, size, 0, 0, needs, needs});
  EXPECT_TRUE(n.exact());
  return static_cast<uint64_t>(n.value);
}

// Known counts of square tables with all margins equal: 3 x 3 with margin n
// has C(n+2, 2) + 3 C(n+3, 4); 4 x 4 with margins 1, 2, 3 has 24, 282, 2008;
// 5 x 5 with margins 10 has 79,315,936,751.
TEST(CompletionCounter, CountsKnownWholeProblems) {
  EXPECT_EQ(wholeProblem(3, 2), 21u);
  EXPECT_EQ(wholeProblem(3, 10), 66u + 3 * 715u);
  EXPECT_EQ(wholeProblem(4, 1), 24u);
  EXPECT_EQ(wholeProblem(4, 2), 282u);
  EXPECT_EQ(wholeProblem(4, 3), 2008u);
  EXPECT_EQ(wholeProblem(5, 10), 79315936751u);
}

// 40 rows of 200 and two columns: the first takes k from the rows, each at
// most 200, so C(k + 39, 39) ways. k = 130 is the largest that fits in 128
// bits; k = 131 does not.
TEST(CompletionCounter, CountsUpToTheLargestThatFitsAndFlagsTheNext) {
  const std::vector<int32_t> rowNeed(40, 200);
  for (int32_t k : {130, 131}) {
    const std::vector<int32_t> colNeed{k, 8000 - k};
    CompletionCounter counter(colNeed);
    const CompletionCount n = counter.count({40, 2, 0, 0, rowNeed, colNeed});
    if (k == 130) {
      ASSERT_TRUE(n.exact());
      const Count expected =
          (Count{0xf379bdd656d9407cULL} << 64) | Count{0x4a188f001b685fe4ULL};  // C(169, 39)
      EXPECT_TRUE(n.value == expected);
    } else {
      EXPECT_EQ(n.status, CompletionCount::Status::kTooLarge);
    }
  }
}

// A sum of counts that passes 2^128 is flagged too, not wrapped: the same 40
// rows with a first column of 1 lead to 40 states of C(169, 39) ways each.
TEST(CompletionCounter, FlagsSumsThatDoNotFit) {
  const std::vector<int32_t> rowNeed(40, 200);
  const std::vector<int32_t> colNeed{1, 130, 7869};
  CompletionCounter counter(colNeed);
  const CompletionCount n = counter.count({40, 3, 0, 0, rowNeed, colNeed});
  EXPECT_EQ(n.status, CompletionCount::Status::kTooLarge);
}

// A call that would pass its work limit says so and leaves nothing wrong in
// the memo for the calls after it; a memo far too small to hold the states is
// emptied as it goes and changes no count.
TEST(CompletionCounter, WorkAndMemoryLimitsChangeNoCount) {
  const std::vector<int32_t> needs(5, 10);
  const OpenCells whole{5, 5, 0, 0, needs, needs};
  CompletionCounter counter(needs);
  EXPECT_EQ(counter.count(whole, 1000).status, CompletionCount::Status::kTooCostly);
  const CompletionCount all = counter.count(whole);
  ASSERT_TRUE(all.exact());
  EXPECT_EQ(static_cast<uint64_t>(all.value), 79315936751u);

  const std::vector<int32_t> threes(4, 3);
  CompletionCounter::Limits small;
  small.memoEntries = 8;
  CompletionCounter forgetful(threes, small);
  const CompletionCount n = forgetful.count({4, 4, 0, 0, threes, threes});
  ASSERT_TRUE(n.exact());
  EXPECT_EQ(static_cast<uint64_t>(n.value), 2008u);
  EXPECT_LE(forgetful.memo().size(), 8u);
  EXPECT_GT(forgetful.memo().resets(), 0u);
}

}  // namespace
}  // namespace rxc
