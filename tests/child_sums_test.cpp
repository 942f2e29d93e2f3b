// The children's shares of a node's closed-form sum found by their ratio
// (child_sums.h) against each child's closed form computed afresh
// (exact_probabilities.h) times 1/x! for the node's cell (and 1/y! for the
// last row's): two derivations of the same sums, on the nodes of random
// problems, mid-column and column-ending alike.
#include "engine/condition/child_sums.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "base/wide_real.h"
#include "engine/bounds/open_cells.h"
#include "engine/condition/exact_probabilities.h"
#include "engine/problem/problem.h"
#include "support/reference_enumeration.h"

namespace rxc {
namespace {

// |a / b - 1|, for two positive wide values.
double relativeDifference(const WideReal& a, const WideReal& b) {
  const DoubleDouble scaled = b.mantissa * powerOfTwo(static_cast<int>(b.exponent - a.exponent));
  return std::fabs(((a.mantissa - scaled) / scaled.hi).hi);
}

// The walk's state at one node: the interior cells fixed before position p
// (column-major), as the needs that remain.
struct NodeState {
  int i = 0;
  int j = 0;
  std::vector<int32_t> rowNeed;
  std::vector<int32_t> colNeed;
};

// A node reached by fixing random interior cells, each within the range its
// sub-table can complete; the last row takes what each completed column
// still needs.
NodeState randomNode(std::mt19937& random, const Problem& problem, int p) {
  NodeState node;
  node.rowNeed.assign(problem.rowMargin.begin(), problem.rowMargin.end());
  node.colNeed.assign(problem.colMargin.begin(), problem.colMargin.end());
  const int interiorRows = problem.r - 1;
  for (int q = 0; q < p; ++q) {
    const int i = q % interiorRows;
    const int j = q / interiorRows;
    int32_t below = 0;
    for (int k = i + 1; k < problem.r; ++k) below += node.rowNeed[static_cast<size_t>(k)];
    const int32_t need = node.colNeed[static_cast<size_t>(j)];
    const int32_t first = std::max(0, need - below);
    const int32_t last = std::min(need, node.rowNeed[static_cast<size_t>(i)]);
    const int32_t x = std::uniform_int_distribution<int32_t>(first, last)(random);
    node.rowNeed[static_cast<size_t>(i)] -= x;
    node.colNeed[static_cast<size_t>(j)] -= x;
    if (i == interiorRows - 1) {
      node.rowNeed.back() -= node.colNeed[static_cast<size_t>(j)];
      node.colNeed[static_cast<size_t>(j)] = 0;
    }
  }
  node.i = p % interiorRows;
  node.j = p / interiorRows;
  return node;
}

TEST(ChildShares, FollowTheClosedFormFromChildToChild) {
  std::mt19937 random(20261210);
  int nodes = 0;
  int endingColumn = 0;
  for (int round = 0; round < 300; ++round) {
    // At least two interior cells, so that a node has children that are nodes.
    const int r = std::uniform_int_distribution<int>(2, 5)(random);
    const int c = std::uniform_int_distribution<int>(r == 2 ? 3 : 2, 5)(random);
    const int n = std::uniform_int_distribution<int>(r, 60)(random);
    const Problem problem = makeProblem(testing::randomComposition(random, n, r),
                                        testing::randomComposition(random, n, c));
    const ExactProbabilities exact(problem);
    const int positions = (r - 1) * (c - 1);
    // Each node before the last interior cell, whose children are nodes too.
    const int p = std::uniform_int_distribution<int>(0, positions - 2)(random);
    NodeState node = randomNode(random, problem, p);
    const auto ui = static_cast<size_t>(node.i);
    const auto uj = static_cast<size_t>(node.j);
    const bool endsColumn = node.i == r - 2;
    int32_t below = 0;
    for (int k = node.i + 1; k < r; ++k) below += node.rowNeed[static_cast<size_t>(k)];
    const int32_t need = node.colNeed[uj];
    const int32_t first = std::max(0, need - below);
    const int32_t last = std::min(need, node.rowNeed[ui]);
    ChildShares shares(need, node.rowNeed[ui], below);
    // The first child asked for may be any of them; the rest follow by ratio.
    const int32_t start = std::uniform_int_distribution<int32_t>(first, last)(random);
    for (int32_t x = start; x <= last; ++x) {
      NodeState child = node;
      child.rowNeed[ui] -= x;
      child.colNeed[uj] -= x;
      int childColumn = node.j;
      int childRow = node.i + 1;
      if (endsColumn) {
        child.rowNeed.back() -= child.colNeed[uj];
        child.colNeed[uj] = 0;
        childColumn = node.j + 1;
        childRow = 0;
      }
      const OpenCells open{r, c, childColumn, childRow, child.rowNeed, child.colNeed};
      WideReal direct = exact.allCompletions(open) * exact.inverseFactorial(x);
      if (endsColumn) direct = direct * exact.inverseFactorial(need - x);
      const WideReal byRatio = shares.at(x, [&] { return direct; });
      EXPECT_LT(relativeDifference(byRatio, direct), 1e-28)
          << "round " << round << ", " << problem.dimText << ", position " << p << ", x " << x;
    }
    ++nodes;
    if (endsColumn) ++endingColumn;
    if (::testing::Test::HasFailure()) break;
  }
  EXPECT_GT(endingColumn, 30);
  EXPECT_GT(nodes - endingColumn, 30);
}

// The closed form as a product of factorials against the exponential of its
// logarithm: two derivations of the same value, at every position of random
// problems with margins into the hundreds.
TEST(ExactProbabilities, ClosedFormByProductsAgreesWithItsLogarithm) {
  struct Direct {
    const ExactProbabilities& exact;
    WideReal of(int k) const { return exact.factorial(k); }
    WideReal inverseOf(int k) const { return exact.inverseFactorial(k); }
  };
  std::mt19937 random(1210);
  for (int round = 0; round < 300; ++round) {
    const int r = std::uniform_int_distribution<int>(2, 5)(random);
    const int c = std::uniform_int_distribution<int>(2, 5)(random);
    const int n = std::uniform_int_distribution<int>(r * c, 600)(random);
    const Problem problem = makeProblem(testing::randomComposition(random, n, r),
                                        testing::randomComposition(random, n, c));
    const ExactProbabilities exact(problem);
    const int p = std::uniform_int_distribution<int>(0, (r - 1) * (c - 1) - 1)(random);
    const NodeState node = randomNode(random, problem, p);
    const OpenCells open{r, c, node.j, node.i, node.rowNeed, node.colNeed};
    Direct factorials{exact};
    EXPECT_LT(relativeDifference(exact.allCompletionsByProducts(open, factorials),
                                 exact.allCompletions(open)),
              1e-28)
        << "round " << round << ", " << problem.dimText << ", position " << p;
  }
}

}  // namespace
}  // namespace rxc
