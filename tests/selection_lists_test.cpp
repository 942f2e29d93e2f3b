// The kept lists of options B and C, driven table by table with chosen
// log-probabilities, against hand-worked cases and against the vector model
// of the selection rules.
#include "engine/selection_lists.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "dialogue/fatal_stop.h"
#include "dialogue/memory_budget.h"
#include "engine/probability.h"
#include "engine/table_slots.h"
#include "support/selection_model.h"

namespace rxc {
namespace {

constexpr int kCells = 2;

// A stand-in for a generated table: its cells carry an identifier.
struct TaggedTable {
  int16_t id;
  void copyTo(int16_t* cells) const {
    cells[0] = id;
    cells[1] = static_cast<int16_t>(-id);
  }
};

struct Kept {
  int id;
  double logProb;
  bool operator==(const Kept&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Kept& k) {
  return out << "{" << k.id << ", " << k.logProb << "}";
}

// The stores and slot arrays of one run, sized T1 + 1 and T2 + 1, 1-based.
struct Stores {
  Stores(int32_t t1In, int32_t t2In) : t1(t1In), t2(t2In) {
    auto slots = [](int32_t t) { return static_cast<size_t>(t) + 2; };
    lists.highNext.reset(new int32_t[slots(t1)]);
    lists.highOrder.reset(new int32_t[slots(t1)]);
    lists.highProb.reset(new double[slots(t1)]);
    lists.highLogProb.reset(new double[slots(t1)]);
    lists.lowNext.reset(new int32_t[slots(t2)]);
    lists.lowProb.reset(new double[slots(t2)]);
    lists.lowLogProb.reset(new double[slots(t2)]);
    EXPECT_TRUE(high.acquire(budget, t1 + 1, kCells));
    EXPECT_TRUE(low.acquire(budget, t2 + 1, kCells));
  }

  void offerAll(TableSelector& selector, const std::vector<double>& logProbs) {
    for (size_t k = 0; k < logProbs.size(); ++k) {
      selector.offer(logProbs[k], toleranceBand(logProbs[k]),
                     TaggedTable{static_cast<int16_t>(k + 1)});
    }
  }

  Kept keptHigh(int32_t slot) const {
    const int16_t* cells = high.slot(slot);
    EXPECT_EQ(cells[1], -cells[0]);
    return {cells[0], lists.highLogProb[slot]};
  }
  Kept keptLow(int32_t slot) const {
    const int16_t* cells = low.slot(slot);
    EXPECT_EQ(cells[1], -cells[0]);
    return {cells[0], lists.lowLogProb[slot]};
  }

  // The order of the report: the high group from its most probable table,
  // then the low group from its most probable one. Needs finishPass().
  std::vector<Kept> listing() const {
    std::vector<Kept> out;
    for (int32_t k = lists.highKept; k >= 1; --k) out.push_back(keptHigh(lists.highOrder[k]));
    if (lists.lowKept > 0) {
      for (int32_t s = lists.lowHead; s > 0; s = lists.lowNext[s]) out.push_back(keptLow(s));
    }
    return out;
  }

  int32_t t1, t2;
  MemoryBudget budget;
  SelectionLists lists;
  TableSlots high, low;
};

std::vector<Kept> runSelection(int32_t t1, int32_t t2, const std::vector<double>& logProbs,
                               int16_t* tinyFlag = nullptr) {
  Stores stores(t1, t2);
  TableSelector selector(stores.lists, stores.high, stores.low, t1, t2, kCells);
  stores.offerAll(selector, logProbs);
  int16_t flag = 0;
  selector.finishPass(flag);
  if (tinyFlag != nullptr) *tinyFlag = flag;
  EXPECT_LE(stores.lists.highKept, t1);
  EXPECT_LE(stores.lists.lowKept, t2);
  return stores.listing();
}

TEST(SelectionLists, ThreeEqualTablesWithTwoHighSlots) {
  // The second table becomes the head of the high list (the first its tail);
  // the third does not displace the head and goes to the low list.
  const double v = std::log(0.2);
  EXPECT_EQ(runSelection(2, 5, {v, v, v}), (std::vector<Kept>{{1, v}, {2, v}, {3, v}}));
  EXPECT_EQ(runSelection(2, 0, {v, v, v}), (std::vector<Kept>{{1, v}, {2, v}}));
}

TEST(SelectionLists, SecondTieWithTailBecomesTail) {
  // -7, -2, -2 with five high slots: -7, the first -2, the second -2 from the
  // head; listed from the most probable: the second -2 first.
  EXPECT_EQ(runSelection(5, 0, {-7.0, -2.0, -2.0}),
            (std::vector<Kept>{{3, -2.0}, {2, -2.0}, {1, -7.0}}));
}

TEST(SelectionLists, SingleSlotsAreOverwrittenInPlace) {
  // Most probable: -1 (table 3); least probable among the rest: -9 (table 4).
  EXPECT_EQ(runSelection(1, 1, {-5.0, -3.0, -1.0, -9.0, -2.0}),
            (std::vector<Kept>{{3, -1.0}, {4, -9.0}}));
  EXPECT_EQ(runSelection(0, 1, {-5.0, -3.0, -9.0, -1.0}), (std::vector<Kept>{{3, -9.0}}));
  EXPECT_EQ(runSelection(1, 0, {-5.0, -3.0, -9.0, -1.0}), (std::vector<Kept>{{4, -1.0}}));
}

TEST(SelectionLists, EveryTableKeptWhenTheListsHoldThemAll) {
  // T1 + T2 = 7 >= 6 accepted tables: all listed, high group the 3 most probable.
  EXPECT_EQ(runSelection(3, 4, {-4.0, -1.0, -6.0, -2.0, -5.0, -3.0}),
            (std::vector<Kept>{{2, -1.0}, {4, -2.0}, {6, -3.0}, {1, -4.0}, {5, -5.0}, {3, -6.0}}));
}

TEST(SelectionLists, NoTableKeptWithBothCountsZero) {
  EXPECT_TRUE(runSelection(0, 0, {-1.0, -2.0}).empty());
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
  Stores stores(3, 0);
  TableSelector selector(stores.lists, stores.high, stores.low, 3, 0, kCells);
  stores.offerAll(selector, {-1.0, -2.0, -3.0});
  stores.lists.highNext[stores.lists.highTail] = stores.lists.highHead;  // a cycle
  int16_t flag = 0;
  try {
    selector.finishPass(flag);
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

    testing::SelectionModel<int> model(t1, t2);
    for (size_t k = 0; k < logProbs.size(); ++k) {
      model.offer({logProbs[k], static_cast<int>(k + 1)});
    }
    std::vector<Kept> expected;
    for (const auto& e : model.listing()) expected.push_back({e.payload, e.logProb});
    ASSERT_EQ(runSelection(t1, t2, logProbs), expected)
        << "round " << round << ", T1 = " << t1 << ", T2 = " << t2;
  }
}

}  // namespace
}  // namespace rxc
