// The tracking of the modal and minimum-probability groups, table by table:
// the tolerance band of the newcomer, ties and restarts (the store's capacity
// is in option A's brute-force test), and the guards that let the common
// table skip the band arithmetic.
#include "engine/option_a/extreme_tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace rxc {
namespace {

constexpr double kTol = 1000.0 * 2.220446049250313e-16;

// A stand-in for the enumeration's table: every cell of the copy carries the
// table's number, so a slot tells which table it holds.
struct NumberedTable {
  int id;
  int cells;
  void copyTo(int16_t* out) const {
    for (int k = 0; k < cells; ++k) out[k] = static_cast<int16_t>(id);
  }
};

constexpr int kCells = 4;

struct Stores {
  explicit Stores(int64_t capacity) {
    EXPECT_TRUE(high.acquire(budget, capacity, kCells));
    EXPECT_TRUE(low.acquire(budget, capacity, kCells));
  }
  MemoryBudget budget;
  TableStore high;
  TableStore low;
};

template <ExtremeOption kChoice>
ExtremeTracking track(double startMode, double startMin, const std::vector<double>& logProbs,
                      Stores& stores, int64_t capacity) {
  ExtremeTracking start;
  start.modeLogProb = startMode;
  start.minLogProb = startMin;
  ExtremeTracker tracker(kChoice, start, stores.high, stores.low, capacity);
  ExtremeVisitor visitor(tracker);
  for (size_t k = 0; k < logProbs.size(); ++k) {
    EXPECT_TRUE(visitor.visit(logProbs[k], NumberedTable{static_cast<int>(k + 1), kCells}));
  }
  ExtremeTracking result;
  tracker.storeInto(result);
  return result;
}

std::vector<int> heldIds(const TableStore& slots, int32_t kept) {
  std::vector<int> ids;
  for (int32_t k = 1; k <= kept; ++k) ids.push_back(slots.slot(k)[0]);
  return ids;
}

TEST(ExtremeTracking, UsesTheNewcomersBandAndKeepsTheFirstValueOfAGroup) {
  Stores stores(10);
  const double s = -100.0;
  const double spread = 100.0 * kTol;
  const std::vector<double> logProbs = {
      s,                 // 1: exact tie
      s + 0.9 * spread,  // 2: within the band: tie, the group's value stays s
      s - 0.9 * spread,  // 3: tie
      s + 0.5 * spread,  // 4: tie
      s - 1.1 * spread,  // 5: band high below s: less probable, not a tie
  };
  const ExtremeTracking e = track<ExtremeOption::kModal>(s, -200.0, logProbs, stores, 10);
  EXPECT_EQ(e.modeLogProb, s);
  EXPECT_EQ(e.modeCount, 4.0);
  EXPECT_EQ(heldIds(stores.high, e.modeKept), (std::vector<int>{1, 2, 3, 4}));

  // A newcomer just beyond the band above restarts the group.
  // Table 3 lies within table 2's band but ties only if its own band reaches
  // the stored value; table 4's does.
  const ExtremeTracking raised = track<ExtremeOption::kModal>(
      s, -200.0, {s, s + 1.1 * spread, s, s + 0.2 * spread}, stores, 10);
  EXPECT_EQ(raised.modeLogProb, s + 1.1 * spread);
  EXPECT_EQ(raised.modeCount, 2.0);
  EXPECT_EQ(heldIds(stores.high, raised.modeKept), (std::vector<int>{2, 4}));
}

TEST(ExtremeTracking, ATableTyingTheMaximumIsNotAlsoAMinimum) {
  Stores stores(10);
  // Both groups start at nearly the same value (within a band): a table that
  // ties the maximum must not be counted in the minimum group as well.
  const double s = -50.0;
  const double nearS = s - 0.5 * 50.0 * kTol;
  const ExtremeTracking e = track<ExtremeOption::kBoth>(s, nearS, {s, nearS, s - 1.0}, stores, 10);
  EXPECT_EQ(e.modeCount, 2.0);  // tables 1 and 2 (2 ties by its own band)
  EXPECT_EQ(e.minLogProb, s - 1.0);
  EXPECT_EQ(e.minCount, 1.0);
  EXPECT_EQ(heldIds(stores.low, e.minKept), (std::vector<int>{3}));
}

// The guards may only ever skip tables that the band rule would skip too.
TEST(ExtremeGuards, NeverSkipATableThatTheBandRuleWouldClassify) {
  std::mt19937_64 random(20261208);
  std::uniform_real_distribution<double> exponent(-16.0, 6.0);
  std::uniform_real_distribution<double> offset(-4.0, 4.0);
  std::vector<double> stored = {0.0, -0.0, 1e-16, -1e-16, 1.0, -1.0, -700.5, -1e5, 5e-300};
  for (int k = 0; k < 2000; ++k) {
    const double magnitude = std::pow(10.0, exponent(random));
    stored.push_back(k % 10 == 0 ? magnitude : -magnitude);
  }
  int checked = 0;
  for (double s : stored) {
    const double unit = s == 0.0 ? 1e-300 : std::fabs(s) * kTol;
    std::vector<double> candidates;
    for (int k = 0; k < 200; ++k) candidates.push_back(s + offset(random) * unit);
    // Walk a few representable values on both sides of each guard.
    for (double guard : {modalGuard(s), minimumGuard(s)}) {
      if (!std::isfinite(guard)) continue;
      double below = guard, above = guard;
      for (int k = 0; k < 8; ++k) {
        candidates.push_back(below);
        candidates.push_back(above);
        below = std::nextafter(below, -INFINITY);
        above = std::nextafter(above, INFINITY);
      }
    }
    for (double v : candidates) {
      const LogBand band = toleranceBand(v);
      if (v < modalGuard(s)) {
        ASSERT_LT(band.high, s) << "v=" << v << " s=" << s;
        ++checked;
      }
      if (v > minimumGuard(s)) {
        ASSERT_GT(band.low, s) << "v=" << v << " s=" << s;
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 100000);
}

TEST(ExtremeGuards, LetTheClearlyInnerTablesThrough) {
  // A value a thousandth of a percent away from an extreme is decided by the
  // guard alone.
  EXPECT_LT(-100.001, modalGuard(-100.0));
  EXPECT_GT(-99.999, minimumGuard(-100.0));
  EXPECT_LT(-1e-5, modalGuard(0.0));
}

}  // namespace
}  // namespace rxc
