// The kept lists of options B and C, driven table by table with chosen
// log-probabilities, against the vector model of the selection rules. (The
// whole-session tests hold hand-worked listings, ties at the list boundary
// among them.)
#include "engine/selection_lists.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "base/fatal_stop.h"
#include "base/tolerance.h"
#include "engine/kept_tables.h"
#include "engine/problem.h"
#include "support/selection_model.h"

namespace rxc {
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
  Selection(int32_t t1, int32_t t2)
      : kept(acquireKeptTables(memory, makeProblem({2}, {1, 1}), countsOnly(t1, t2), 1.0f)),
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
  EXPECT_LE(run.kept.lists.highKept, t1);
  EXPECT_LE(run.kept.lists.lowKept, t2);
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
  SelectionLists& lists = run.kept.lists;
  lists.highNext[lists.highTail] = lists.highHead;  // a cycle
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

}  // namespace
}  // namespace rxc
