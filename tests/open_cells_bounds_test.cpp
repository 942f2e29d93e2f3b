#include "engine/bounds/open_cells_bounds.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "support/partial_fills.h"

namespace rxc {
namespace {

using testing::forEachCompletion;
using testing::logFactorials;
using testing::PartialFill;

// The bounds may sit off their exact value by their own roundings; the brute
// force sums by its own. Both are far inside this relative allowance.
constexpr double kAllowance = 1e-12;

struct Extremes {
  double least = std::numeric_limits<double>::infinity();
  double greatest = -std::numeric_limits<double>::infinity();
  int completions = 0;
};

Extremes bruteForce(const OpenCells& open, const std::vector<double>& lf) {
  Extremes e;
  forEachCompletion(open, lf, [&](double sum) {
    e.least = std::min(e.least, sum);
    e.greatest = std::max(e.greatest, sum);
    ++e.completions;
  });
  return e;
}

void expectCovers(const SumBounds& b, const Extremes& e, const char* which) {
  EXPECT_LE(b.least, e.least * (1 + kAllowance) + kAllowance) << which;
  EXPECT_GE(b.greatest, e.greatest * (1 - kAllowance) - kAllowance) << which;
}

// Every completion of random partial fills lies within the bounds, for each
// relaxation on its own and for the combination; the fills cover every depth,
// both forms of a column boundary, rows and columns that need nothing, and
// problems whose margins are all equal.
TEST(OpenCellsBounds, CoverEveryCompletionOfRandomPartialFills) {
  std::mt19937 random(20240611);
  const std::vector<double> lf = logFactorials(200);
  int shapes = 0;
  for (int trial = 0; trial < 400; ++trial) {
    const int r = 2 + static_cast<int>(random() % 4);
    const int c = 2 + static_cast<int>(random() % 4);
    const bool equal = trial % 4 == 3;
    const int size = std::min(r, c);
    // Small enough totals that the brute force stays quick.
    const std::vector<int32_t> cells =
        equal        ? testing::randomEqualMarginTable(random, size, size == 5 ? 2 : 3)
        : r * c > 12 ? testing::randomSparseTable(random, r, c, r + c + 4)
                     : testing::randomTable(random, r, c, 3);
    const int rows = equal ? size : r;
    const int cols = equal ? size : c;
    const int interior = (rows - 1) * (cols - 1);
    for (int fixed = 0; fixed <= interior; ++fixed) {
      for (bool fold : {false, true}) {
        const PartialFill fill(cells, rows, cols, fixed, fold);
        const Extremes e = bruteForce(fill.open, lf);
        ASSERT_GE(e.completions, 1);
        expectCovers(boundOpenCells(fill.open, lf.data()), e, "both");
        expectCovers(boundOpenCellsByRows(fill.open, lf.data()), e, "rows");
        expectCovers(boundOpenCellsByColumns(fill.open, lf.data()), e, "columns");
        ++shapes;
      }
    }
  }
  EXPECT_GT(shapes, 3000);
}

// Open cells in the last two columns: the direct reading gives the rows'
// relaxation to the bit, for every order of the two caps, rows above the
// first open one, rows that need nothing and needs beyond both caps.
TEST(OpenCellsBounds, LastTwoColumnsReadDirectlyAsTheRowsRelaxation) {
  std::mt19937 random(77);
  const std::vector<double> lf = logFactorials(400);
  for (int trial = 0; trial < 20000; ++trial) {
    const int rows = 2 + static_cast<int>(random() % 7);
    const int cols = 2 + static_cast<int>(random() % 4);
    std::vector<int32_t> colNeed(static_cast<size_t>(cols));
    for (int32_t& need : colNeed) need = static_cast<int32_t>(random() % 60);
    std::vector<int32_t> rowNeed(static_cast<size_t>(rows));
    for (int32_t& need : rowNeed)
      need = static_cast<int32_t>(random() % (trial % 3 == 0 ? 8 : 130));
    const OpenCells open{rows, cols, cols - 2, static_cast<int>(random() % rows), rowNeed, colNeed};
    const SumBounds direct = boundLastTwoColumnsByRows(open, lf.data());
    const SumBounds lists = boundOpenCellsByRows(open, lf.data());
    ASSERT_EQ(std::bit_cast<uint64_t>(direct.least), std::bit_cast<uint64_t>(lists.least))
        << "trial " << trial;
    ASSERT_EQ(std::bit_cast<uint64_t>(direct.greatest), std::bit_cast<uint64_t>(lists.greatest))
        << "trial " << trial;
  }
}

// Rows 2, 2, 2 and columns 3, 3, nothing fixed: the all-ones table has sum 0
// and the others 2 ln 2, which the columns' greedy packing reaches exactly.
TEST(OpenCellsBounds, AreExactOnASmallWholeProblem) {
  const std::vector<double> lf = logFactorials(10);
  const std::vector<int32_t> rowNeed{2, 2, 2};
  const std::vector<int32_t> colNeed{3, 3};
  const SumBounds b = boundOpenCells({3, 2, 0, 0, rowNeed, colNeed}, lf.data());
  EXPECT_EQ(b.least, 0.0);
  EXPECT_EQ(b.greatest, 2 * std::log(2.0));
}

// Only the last column open: every cell is forced, both bounds are its sum.
TEST(OpenCellsBounds, AreTheSumWhenEveryCellIsForced) {
  const std::vector<double> lf = logFactorials(10);
  const std::vector<int32_t> rowNeed{0, 3, 4};
  const std::vector<int32_t> colNeed{0, 0, 7};
  const SumBounds b = boundOpenCells({3, 3, 2, 1, rowNeed, colNeed}, lf.data());
  const double sum = std::log(6.0) + std::log(24.0);
  EXPECT_NEAR(b.least, sum, 1e-14);
  EXPECT_NEAR(b.greatest, sum, 1e-14);
}

// A column that needs nothing takes nothing: each row's even spread goes over
// the two other cells only, 2 and 2, which is the true least (4 ln 2); the
// uncapped spread (2, 1, 1) would give 2 ln 2.
TEST(OpenCellsBounds, SpreadOnlyOverCellsThatCanTakeIt) {
  const std::vector<double> lf = logFactorials(10);
  const std::vector<int32_t> rowNeed{4, 4};
  const std::vector<int32_t> colNeed{0, 4, 4};
  const SumBounds b = boundOpenCellsByRows({2, 3, 0, 0, rowNeed, colNeed}, lf.data());
  EXPECT_NEAR(b.least, 4 * std::log(2.0), 1e-14);
}

}  // namespace
}  // namespace rxc
