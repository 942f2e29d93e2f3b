// The polygon of a block of the last two cells, against a brute-force walk of
// the 3 x 2 sub-tables it stands for: its counts, and the least and greatest
// sums of ln(x!) over it, over each run and over stretches of runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "base/log_factorial.h"
#include "engine/kernel/enumeration_block_shape.h"
#include "engine/kernel/enumeration_runs.h"

namespace rxc::enumeration_detail {
namespace {

std::vector<double> logFactorials(int n) {
  std::vector<double> lf(static_cast<size_t>(n) + 1, 0.0);
  for (int k = 2; k <= n; ++k) lf[k] = std::lgamma(k + 1.0);
  return lf;
}

// A 3 x 2 sub-table with row needs a0 (x1's row), a1 (x's row), a2 and c0 in
// its first column: x1 and x are the first column's two top cells, and the
// four others follow from them.
struct SubTable {
  int a0, a1, a2, c0;

  BlockShape shape() const {
    const int rest = a0 + a1 + a2;
    return {std::max(0, c0 + a0 - rest), std::min(c0, a0), c0 - a2, c0, a1, a0, c0, a2 - c0, rest};
  }

  // The sum over the six cells of table (x1, x), or NaN when a cell is negative.
  double sum(const std::vector<double>& lf, int x1, int x) const {
    const int cells[6] = {x1, a0 - x1, x, a1 - x, c0 - x1 - x, a2 - (c0 - x1 - x)};
    double s = 0.0;
    for (int cell : cells) {
      if (cell < 0) return std::numeric_limits<double>::quiet_NaN();
      s += lf[cell];
    }
    return s;
  }
};

// A random sub-table with row needs up to `top` and any first column total
// they allow.
SubTable randomSubTable(std::mt19937& random, int top) {
  auto need = [&] { return static_cast<int>(random() % (static_cast<unsigned>(top) + 1)); };
  SubTable t{need(), need(), need(), 0};
  t.c0 = static_cast<int>(random() % static_cast<unsigned>(t.a0 + t.a1 + t.a2 + 1));
  return t;
}

constexpr double kAllowance = 1e-12;

TEST(BlockShape, CountsAndRangesAgreeWithTheTablesOfRandomSubTables) {
  std::mt19937 random(90210);
  const std::vector<double> lf = logFactorials(400);
  for (int trial = 0; trial < 2000; ++trial) {
    const int top = trial % 4 == 0 ? 3 : 60;
    const SubTable t = randomSubTable(random, top);
    const BlockShape shape = t.shape();
    ASSERT_LE(shape.lo1, shape.hi1);
    double least = std::numeric_limits<double>::infinity();
    double greatest = -least;
    std::vector<uint64_t> runTables(static_cast<size_t>(t.a0) + 1, 0);
    for (int x1 = 0; x1 <= t.a0; ++x1) {
      double runLeast = std::numeric_limits<double>::infinity();
      for (int x = 0; x <= t.a1; ++x) {
        const double s = t.sum(lf, x1, x);
        if (std::isnan(s)) continue;
        ASSERT_GE(x1, shape.lo1);
        ASSERT_LE(x1, shape.hi1);
        ASSERT_GE(x, shape.xLow(x1));
        ASSERT_LE(x, shape.xHigh(x1));
        ++runTables[x1];
        runLeast = std::min(runLeast, s);
        least = std::min(least, s);
        greatest = std::max(greatest, s);
      }
      if (runTables[x1] > 0) {
        EXPECT_NEAR(shape.runLeast(lf.data(), x1), runLeast, kAllowance * (1 + runLeast))
            << "trial " << trial << " x1 " << x1;
      }
    }
    // Every (x1, x) of the polygon is a table.
    uint64_t total = 0;
    for (auto n : runTables) total += n;
    ASSERT_EQ(shape.tables(), total) << "trial " << trial;
    const auto a = static_cast<BlockShape::Index>(random() % (t.a0 + 1));
    const auto b = static_cast<BlockShape::Index>(random() % (t.a0 + 1));
    uint64_t part = 0;
    for (auto x1 = a; x1 <= b; ++x1) part += runTables[x1];
    EXPECT_EQ(shape.tables(a, b), part) << "trial " << trial;

    EXPECT_NEAR(shape.least(lf.data()), least, kAllowance * (1 + least)) << "trial " << trial;
    EXPECT_NEAR(shape.greatest(lf.data()), greatest, kAllowance * (1 + greatest))
        << "trial " << trial;
    const SumSpan terms = shape.termRange(lf.data());
    EXPECT_LE(terms.least, least * (1 + kAllowance)) << "trial " << trial;
    EXPECT_GE(terms.greatest, greatest * (1 - kAllowance)) << "trial " << trial;
  }
}

// What the arguments on the blocks' extremes (and their rounding budget) take
// of the program's own ln(k!) table, filled to its capacity: its entries
// rise and are strictly convex, and each step from one entry to the next is
// ln k to within 3 units of rounding of the entry.
TEST(BlockShape, TheLogFactorialTableRisesAndIsStrictlyConvex) {
  LogFactorialTable lf;
  lf.extendTo(LogFactorialTable::kCapacity - 1);
  ASSERT_EQ(lf.filled(), LogFactorialTable::kCapacity - 1);
  EXPECT_EQ(lf[0], 0.0);
  EXPECT_EQ(lf[1], 0.0);
  double lastStep = 0.0;
  for (int k = 2; k < LogFactorialTable::kCapacity; ++k) {
    // (Exact from k = 4 on, the entries within a factor 2 of each other;
    // below, the steps are far apart.)
    const double step = lf[k] - lf[k - 1];
    ASSERT_GT(step, lastStep) << "k " << k;
    ASSERT_LE(std::fabs(step - std::log(static_cast<double>(k))), 3.0 * 0x1p-53 * lf[k])
        << "k " << k;
    lastStep = step;
  }
}

// The runs' least sums are convex in x1, which the walk relies on to skip the
// runs after a judged one once they rise.
TEST(BlockShape, RunLeastSumsAreConvexInTheSecondLastCell) {
  std::mt19937 random(4711);
  const std::vector<double> lf = logFactorials(400);
  for (int trial = 0; trial < 500; ++trial) {
    const SubTable t = randomSubTable(random, 60);
    const BlockShape shape = t.shape();
    for (auto x1 = shape.lo1 + 1; x1 < shape.hi1; ++x1) {
      const double before = shape.runLeast(lf.data(), x1 - 1);
      const double here = shape.runLeast(lf.data(), x1);
      const double after = shape.runLeast(lf.data(), x1 + 1);
      EXPECT_GE(before + after, 2 * here * (1 - kAllowance)) << "trial " << trial << " x1 " << x1;
    }
  }
}

// The runs' least values stepped from either end of the block, with no
// division per run, read what runLeast computes for each run.
TEST(BlockShape, RunLeastsSteppedEitherWayAreTheRunLeasts) {
  std::mt19937 random(1234);
  const std::vector<double> lf = logFactorials(400);
  for (int trial = 0; trial < 1000; ++trial) {
    const int top = trial % 3 == 0 ? 4 : 60;
    const SubTable t = randomSubTable(random, top);
    const BlockShape shape = t.shape();
    BlockShape::RunLeasts up(shape, lf.data(), shape.lo1);
    BlockShape::RunLeasts down(shape, lf.data(), shape.hi1);
    for (auto k = shape.lo1; k <= shape.hi1; ++k) {
      const auto x1Down = shape.hi1 - (k - shape.lo1);
      ASSERT_EQ(up.x1(), k);
      ASSERT_EQ(down.x1(), x1Down);
      // The same table's terms in the same order: equal to the bit.
      ASSERT_EQ(up.value(), shape.runLeast(lf.data(), k)) << "trial " << trial << " x1 " << k;
      ASSERT_EQ(down.value(), shape.runLeast(lf.data(), x1Down))
          << "trial " << trial << " x1 " << x1Down;
      ASSERT_EQ(up.tables(), shape.tables(k, k)) << "trial " << trial << " x1 " << k;
      up.next();
      down.previous();
    }
  }
}

// The trimming of a run's ends against a brute-force scan of its estimates:
// what goes is beyond the bound table by table from either end, the first
// and last tables kept are not, and two tables at once read as two alone.
TEST(RunTrimming, TrimsEachEndUpToTheFirstTableNotBeyondTheBound) {
  using Index = RunEstimate::Index;
  const std::vector<double> lf = logFactorials(300);
  std::mt19937 rng(2026);
  auto uniform = [&](Index low, Index high) {
    return low + static_cast<Index>(rng() % static_cast<uint32_t>(high - low + 1));
  };
  for (int round = 0; round < 3000; ++round) {
    const Index u = uniform(0, 60), v = uniform(0, 60), w = uniform(0, 60);
    const Index hi = uniform(0, std::min(u, v)), lo = uniform(0, hi);
    const RunEstimate run{lf.data(), static_cast<double>(uniform(0, 40)), u, v, w};
    std::vector<double> estimates;
    for (Index x = lo; x <= hi; ++x) estimates.push_back(run.at(x));
    for (Index x = lo; x < hi; ++x) {
      const DoublePair pair = run.pairAt(x);
      ASSERT_EQ(pair[0], run.at(x));
      ASSERT_EQ(pair[1], run.at(x + 1));
    }
    // A bound among the estimates (ties included), or beyond all of them.
    double above = estimates[static_cast<size_t>(rng() % estimates.size())];
    if (round % 7 == 0) above = *std::min_element(estimates.begin(), estimates.end()) - 1.0;
    if (round % 7 == 1) above = *std::max_element(estimates.begin(), estimates.end());
    const RunSpan kept = trimmedRun(run, lo, hi, above);
    const std::string what = "round " + std::to_string(round);
    Index first = lo;
    while (first <= hi && run.at(first) > above) ++first;
    ASSERT_EQ(kept.first, first) << what;
    if (first > hi) {
      ASSERT_EQ(kept.last, hi) << what;  // nothing is left, and nothing more is trimmed
      continue;
    }
    Index last = hi;
    while (run.at(last) > above) --last;
    ASSERT_EQ(kept.last, last) << what;
  }
}

}  // namespace
}  // namespace rxc::enumeration_detail
