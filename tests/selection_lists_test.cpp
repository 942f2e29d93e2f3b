// The kept lists of options B and C, driven table by table with chosen
// log-probabilities, against the vector model of the selection rules and
// against the lists as a walk from the head placed them. (The whole-session
// tests hold hand-worked listings, ties at the list boundary among them.)
#include "engine/stores/selection_lists.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "base/fatal_stop.h"
#include "base/tolerance.h"
#include "engine/problem/problem.h"
#include "engine/stores/kept_tables.h"
#include "support/selection_model.h"
#include "support/walking_selection.h"

namespace rxc {

// Reaches into a kept list to break it, as no selection step can.
struct KeptListProbe {
  template <class Extreme>
  static void setNext(KeptList<Extreme>& list, int32_t slot, int32_t next) {
    list.next_[slot] = next;
  }
};

namespace {

using testing::KeptTable;

// A stand-in for a generated 1 x 2 table: its cells carry an identifier.
struct TaggedTable {
  int16_t id;
  void copyTo(int16_t* cells) const {
    cells[0] = id;
    cells[1] = static_cast<int16_t>(-id);
  }
};

ConditionRequest countsOnly(int32_t t1, int32_t t2) {
  ConditionRequest request;
  request.t1 = t1;
  request.t2 = t2;
  return request;
}

// Stores acquired for T1 and T2 as after the dialogue, and the selector on them.
struct Selection {
  explicit Selection(int32_t t1, int32_t t2,
                     uint64_t budgetBytes = std::numeric_limits<uint64_t>::max())
      : memory(budgetBytes),
        kept(acquireKeptTables(memory, makeProblem({2}, {1, 1}), countsOnly(t1, t2), 1.0f)),
        selector(kept.lists, kept.highTables, kept.lowTables, t1, t2, 2) {}
  void offerAll(const std::vector<double>& logProbs) {
    for (size_t k = 0; k < logProbs.size(); ++k) {
      selector.offer(logProbs[k], toleranceBand(logProbs[k]),
                     TaggedTable{static_cast<int16_t>(k + 1)});
    }
  }
  MemoryBudget memory;
  KeptTables kept;
  TableSelector selector;
};

std::vector<KeptTable> runSelection(int32_t t1, int32_t t2, const std::vector<double>& logProbs,
                                    int16_t* tinyFlag = nullptr) {
  Selection run(t1, t2);
  run.offerAll(logProbs);
  const bool tiny = run.selector.finishPass();
  if (tinyFlag != nullptr) *tinyFlag = tiny ? 1 : 0;
  EXPECT_LE(run.kept.lists.high.kept(), t1);
  EXPECT_LE(run.kept.lists.low.kept(), t2);
  return testing::keptListing(run.kept, 2);
}

TEST(SelectionLists, TinyFlagComesFromTheLeastProbableTableOfEachList) {
  int16_t flag = -1;
  runSelection(2, 0, {-800.0, -1.0}, &flag);
  EXPECT_EQ(flag, 1);
  runSelection(0, 2, {-1.0, -800.0}, &flag);
  EXPECT_EQ(flag, 1);
  runSelection(1, 2, {-1.0, -2.0, -3.0}, &flag);
  EXPECT_EQ(flag, 0);
  // A table that was pushed out of the high list and dropped leaves no trace.
  runSelection(1, 0, {-800.0, -1.0}, &flag);
  EXPECT_EQ(flag, 0);
  // Pushed out into the low list, it is that list's least probable table.
  runSelection(1, 1, {-800.0, -2.0, -1.0}, &flag);
  EXPECT_EQ(flag, 1);
}

TEST(SelectionLists, BrokenHighListEndsTheRun) {
  Selection run(3, 0);
  run.offerAll({-1.0, -2.0, -3.0});
  KeptList<MoreProbable>& high = run.kept.lists.high;
  KeptListProbe::setNext(high, high.tail(), high.head());  // a cycle
  try {
    run.selector.finishPass();
    FAIL() << "no stop";
  } catch (const FatalStop& stop) {
    EXPECT_EQ(stop.reportMessage, " Error 3. Contactar con el autor.");
    EXPECT_FALSE(stop.consoleError2);
  }
}

TEST(SelectionLists, AgreesWithTheVectorModelOnRandomStreams) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 600; ++round) {
    const int count = std::uniform_int_distribution<int>(1, 40)(rng);
    // Few distinct levels, so that ties (exact and within the tolerance) abound.
    const int levels = std::uniform_int_distribution<int>(1, 8)(rng);
    std::vector<double> logProbs;
    for (int k = 0; k < count; ++k) {
      double v = -1.0 - std::uniform_int_distribution<int>(0, levels - 1)(rng) * 0.75;
      switch (std::uniform_int_distribution<int>(0, 3)(rng)) {
        case 0:
          v *= 1.0 + 1e-14;  // within the tolerance: a tie
          break;
        case 1:
          v *= 1.0 + 1e-11;  // beyond it: a distinct value
          break;
        default:
          break;
      }
      logProbs.push_back(v);
    }
    const int32_t t1 = std::uniform_int_distribution<int32_t>(0, count + 1)(rng);
    const int32_t t2 = std::uniform_int_distribution<int32_t>(0, count + 1)(rng);

    testing::SelectionModel<int16_t> model(t1, t2);
    for (size_t k = 0; k < logProbs.size(); ++k) {
      model.offer({logProbs[k], static_cast<int16_t>(k + 1)});
    }
    std::vector<KeptTable> expected;
    for (const auto& e : model.listing()) {
      expected.push_back({{e.payload, static_cast<int16_t>(-e.payload)}, e.logProb});
    }
    ASSERT_EQ(runSelection(t1, t2, logProbs), expected)
        << "round " << round << ", T1 = " << t1 << ", T2 = " << t2;
  }
}

// What a listing yields, read back: each table's identifier (its first
// cell), probability and log-probability.
struct Listed {
  std::vector<int16_t> ids;
  std::vector<double> probabilities;
  std::vector<double> logProbs;
};
template <class Range>
Listed readBack(const Range& tables) {
  Listed out;
  for (const ListedTable& table : tables) {
    EXPECT_EQ(table.cells[1], -table.cells[0]);
    out.ids.push_back(table.cells[0]);
    out.probabilities.push_back(table.probability);
    out.logProbs.push_back(table.logProb);
  }
  return out;
}

TEST(KeptListing, EachGroupFromItsMostProbableTableThenBothInOne) {
  // Probabilities 1/8, 1/2, 1/32, 1/4, 1/16 (tables 1 to 5), T1 = T2 = 2:
  // 1/8 is pushed out of the high list into the low one by 1/4, and 1/16
  // then takes its place there. The high group is 1/2, 1/4; the low group
  // 1/16, 1/32.
  const std::vector<double> p = {0.125, 0.5, 0.03125, 0.25, 0.0625};
  std::vector<double> logProbs;
  for (double v : p) logProbs.push_back(std::log(v));
  Selection run(2, 2);
  run.offerAll(logProbs);
  run.selector.finishPass();
  const KeptListing listing = run.kept.listing();

  // Each table's probability is a power of 1/2, which the exp of its
  // log-probability gives to within a few units in the last place.
  auto expectGroup = [&](const KeptListRange& group, const std::vector<int16_t>& ids) {
    const Listed read = readBack(group);
    ASSERT_EQ(read.ids, ids);
    for (size_t k = 0; k < ids.size(); ++k) {
      EXPECT_DOUBLE_EQ(read.probabilities[k], p[ids[k] - 1]) << "table " << ids[k];
      EXPECT_EQ(read.logProbs[k], logProbs[ids[k] - 1]) << "table " << ids[k];
    }
  };
  expectGroup(listing.high(), {2, 4});
  expectGroup(listing.low(), {5, 3});

  EXPECT_EQ(readBack(listing).ids, (std::vector<int16_t>{2, 4, 5, 3}));
  // A group taken from a listing that is gone still reads.
  EXPECT_EQ(readBack(run.kept.listing().low()).ids, (std::vector<int16_t>{5, 3}));
}

TEST(KeptListing, AnEmptyGroupIsPassedOver) {
  // Tables 1 to 3 of log-probabilities -3, -1, -2.
  struct Case {
    int32_t t1, t2;
    std::vector<int16_t> high, low;
  };
  const Case cases[] = {
      {0, 0, {}, {}},
      {0, 2, {}, {3, 1}},     // -2 replaces -1, the low list's most probable
      {3, 0, {2, 3, 1}, {}},  // every table in the high list
      {1, 5, {2}, {3, 1}},    // -3 pushed out of the high list by -1
  };
  for (const Case& c : cases) {
    Selection run(c.t1, c.t2);
    run.offerAll({-3.0, -1.0, -2.0});
    run.selector.finishPass();
    const KeptListing listing = run.kept.listing();
    const std::string where = "T1 = " + std::to_string(c.t1) + ", T2 = " + std::to_string(c.t2);
    EXPECT_EQ(listing.high().empty(), c.high.empty()) << where;
    EXPECT_EQ(listing.low().empty(), c.low.empty()) << where;
    EXPECT_EQ(readBack(listing.high()).ids, c.high) << where;
    EXPECT_EQ(readBack(listing.low()).ids, c.low) << where;
    std::vector<int16_t> both = c.high;
    both.insert(both.end(), c.low.begin(), c.low.end());
    EXPECT_EQ(readBack(listing).ids, both) << where;
  }
}

// A stand-in table that carries a 30-bit identifier in its two cells.
struct NumberedTable {
  int32_t id;
  void copyTo(int16_t* cells) const {
    cells[0] = static_cast<int16_t>(id & 0x7fff);
    cells[1] = static_cast<int16_t>(id >> 15);
  }
};
int32_t idOf(const int16_t* cells) { return cells[0] | (int32_t{cells[1]} << 15); }

void offerNumbered(Selection& run, double logProb, int32_t id) {
  run.selector.offer(logProb, toleranceBand(logProb), NumberedTable{id});
}

// The slots of a list from its head along its links (at most kept + 1 of
// them, should it loop).
template <class Extreme>
std::vector<int32_t> linkedSlots(const KeptList<Extreme>& list) {
  std::vector<int32_t> order;
  for (int32_t slot = list.head(); slot > 0 && order.size() <= static_cast<size_t>(list.kept());
       slot = list.next(slot)) {
    order.push_back(slot);
  }
  return order;
}

// One list of a run (its slots from head to tail, each slot's value and
// table) against the walking reference's.
template <class Extreme>
::testing::AssertionResult sameList(const char* name, const KeptList<Extreme>& list,
                                    const TableStore& tables,
                                    const testing::WalkingSelection::List& expected) {
  auto failure = [&](const std::string& what) {
    return ::testing::AssertionFailure() << name << " list: " << what;
  };
  const int32_t kept = list.kept();
  if (kept != expected.kept) return failure("kept " + std::to_string(kept));
  if (kept == 0) return ::testing::AssertionSuccess();
  if (list.head() != expected.head || list.tail() != expected.tail) {
    return failure("head " + std::to_string(list.head()) + ", tail " + std::to_string(list.tail()));
  }
  if (linkedSlots(list) != expected.order()) return failure("order differs");
  for (int32_t slot = 1; slot <= kept; ++slot) {
    if (list.logProb(slot) != expected.logProb[slot] ||
        idOf(tables.slot(slot)) != expected.id[slot]) {
      return failure("slot " + std::to_string(slot) + " holds another table");
    }
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult sameLists(const Selection& run,
                                     const testing::WalkingSelection& expected) {
  const SelectionLists& l = run.kept.lists;
  ::testing::AssertionResult high = sameList("high", l.high, run.kept.highTables, expected.high());
  if (!high) return high;
  ::testing::AssertionResult low = sameList("low", l.low, run.kept.lowTables, expected.low());
  if (!low) return low;
  const TableSelector& s = run.selector;
  if (s.highEntry() != expected.highEntry() || s.lowEntry() != expected.lowEntry() ||
      s.highListFloor() != expected.highListFloor() ||
      s.lowListCeiling() != expected.lowListCeiling()) {
    return ::testing::AssertionFailure() << "entries, floor or ceiling differ";
  }
  return ::testing::AssertionSuccess();
}

// Log-probabilities that make the placement rules work: values on a small
// grid, repeats of earlier values (exact ties), values a few ulps from them,
// at the very edges of their bands and within them (ties within the
// tolerance), just beyond the tolerance, and anywhere between; with
// `withZero`, also 0, whose band has no width.
class TieStream {
 public:
  TieStream(uint32_t seed, bool withZero)
      : rng_(seed), levels_(std::uniform_int_distribution<int>(1, 12)(rng_)), zero_(withZero) {}

  double next() {
    const double v = draw();
    seen_.push_back(v);
    return v;
  }

 private:
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  double earlier() { return seen_.empty() ? grid() : seen_[pick(static_cast<int>(seen_.size()))]; }
  double grid() { return -1.0 - 0.75 * pick(levels_); }
  double sign() { return pick(2) == 0 ? -1.0 : 1.0; }

  double draw() {
    switch (pick(zero_ ? 11 : 10)) {
      case 0:
      case 1:
      case 2:
        return grid();
      case 3:
        return earlier();
      case 4: {
        double v = earlier();
        const double toward = sign() * std::numeric_limits<double>::infinity();
        for (int k = pick(4); k >= 0; --k) v = std::nextafter(v, toward);
        return v;
      }
      case 5: {
        const LogBand band = toleranceBand(earlier());
        return pick(2) == 0 ? band.low : band.high;
      }
      case 6:
        return earlier() * (1.0 + sign() * 1e-14);
      case 7:
        return earlier() * (1.0 + sign() * 1e-11);
      case 8:
      case 9:
        return -1.0 - 0.75 * levels_ * std::uniform_real_distribution<double>(0.0, 1.0)(rng_);
      default:
        return 0.0;
    }
  }

  std::mt19937 rng_;
  int levels_;
  bool zero_;
  std::vector<double> seen_;
};

TEST(SelectionLists, IndexedListsMatchTheWalkAfterEveryTable) {
  std::mt19937 rng(7031);
  const int32_t large[] = {100, 700, 3000, 1000000000};
  for (int round = 0; round < 160; ++round) {
    // Mostly short lists, around the length where the index takes over; some
    // long ones, some never filled.
    const bool longLists = round % 6 == 5;
    auto listLength = [&] {
      return longLists ? large[std::uniform_int_distribution<int>(0, 3)(rng)]
                       : std::uniform_int_distribution<int32_t>(0, 50)(rng);
    };
    const int32_t t1 = listLength();
    const int32_t t2 = listLength();
    const int count = std::uniform_int_distribution<int>(longLists ? 2000 : 500, 3000)(rng);
    TieStream values(static_cast<uint32_t>(round), round % 4 == 3);
    Selection run(t1, t2);
    testing::WalkingSelection expected(t1, t2);
    for (int32_t id = 1; id <= count; ++id) {
      const double v = values.next();
      offerNumbered(run, v, id);
      expected.offer(v, id);
      ASSERT_TRUE(sameLists(run, expected))
          << "round " << round << ", T1 = " << t1 << ", T2 = " << t2 << ", table " << id;
    }
  }
}

// The log2 of n, for the bound on the index's work.
double log2Of(int n) { return std::log2(static_cast<double>(n)); }

TEST(SelectionLists, AMillionTablesPlacedInTheMiddleCostLogarithmicSteps) {
  constexpr int kTables = 1000000;
  // What n insertions into a balanced tree of up to n nodes may take, a few
  // times over; a walk from the head would take about n * n / 2 steps.
  const double bound = 3.0 * kTables * log2Of(kTables);
  std::vector<int32_t> middleOrder{1};
  for (int32_t slot = 3; slot <= kTables; ++slot) middleOrder.push_back(slot);
  middleOrder.push_back(2);

  {
    // Exact ties of probability 1 after a less probable head: the band has no
    // width, so each newcomer passes every table to the end of the list.
    Selection run(kTables, 0);
    offerNumbered(run, -1.0, 1);
    for (int32_t id = 2; id <= kTables; ++id) offerNumbered(run, 0.0, id);
    const KeptList<MoreProbable>& high = run.kept.lists.high;
    ASSERT_EQ(high.kept(), kTables);
    int32_t expectedSlot = 1;
    for (int32_t slot = high.head(); slot > 0; slot = high.next(slot)) {
      ASSERT_EQ(slot, expectedSlot++);
    }
    EXPECT_EQ(high.tail(), kTables);
    EXPECT_LT(static_cast<double>(high.index().steps()), bound);
  }
  {
    // High list: between a fixed head and tail, each table a little more
    // probable than all before it, so it goes just before the tail.
    Selection run(kTables, 0);
    offerNumbered(run, -3.0, 1);
    offerNumbered(run, -1.0, 2);
    for (int32_t id = 3; id <= kTables; ++id) offerNumbered(run, -2.0 + 1e-7 * id, id);
    EXPECT_EQ(linkedSlots(run.kept.lists.high), middleOrder);
    EXPECT_LT(static_cast<double>(run.kept.lists.high.index().steps()), bound);
  }
  {
    // Low list, the mirror image: each table a little less probable than all
    // before it, between a fixed head and tail.
    Selection run(0, kTables);
    offerNumbered(run, -1.0, 1);
    offerNumbered(run, -3.0, 2);
    for (int32_t id = 3; id <= kTables; ++id) offerNumbered(run, -1.5 - 1e-7 * id, id);
    EXPECT_EQ(linkedSlots(run.kept.lists.low), middleOrder);
    EXPECT_LT(static_cast<double>(run.kept.lists.low.index().steps()), bound);
  }
}

TEST(SelectionLists, ARefusedGrowthStopsTheRunAndLeavesTheListsWhole) {
  // Whatever the budget, a refusal (of slot arrays, tables or an index) is
  // the memory stop, within the budget, and leaves the lists as they were
  // before the table that asked for the memory. The high list fills at 40
  // tables, past the length where it is indexed; the low list takes the rest
  // and grows until the budget stops it.
  int32_t longestLowList = 0;
  for (uint64_t budget = 900; budget <= 12000; budget += 12) {
    Selection run(40, 1000000, budget);
    testing::WalkingSelection expected(40, 1000000);
    TieStream values(static_cast<uint32_t>(budget), false);
    std::string stop;
    for (int32_t id = 1; id <= 400 && stop.empty(); ++id) {
      const double v = values.next();
      try {
        offerNumbered(run, v, id);
        expected.offer(v, id);
      } catch (const FatalStop& e) {
        stop = e.reportMessage;
      }
    }
    ASSERT_EQ(stop, kMemoryFailureMessage) << "budget " << budget;
    EXPECT_LE(run.memory.used(), budget);
    ASSERT_TRUE(sameLists(run, expected)) << "budget " << budget;
    longestLowList = std::max(longestLowList, run.kept.lists.low.kept());
  }
  EXPECT_GT(longestLowList, 64);  // indexed (past 32) and grown since
}

}  // namespace
}  // namespace rxc
