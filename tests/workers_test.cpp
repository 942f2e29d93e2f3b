// The passes split among workers against the same passes on one thread: every
// result, every kept table and the order of the kept lists, for 2 and 7
// workers. The order-dependent steps (the raises of the largest accepted
// log-probability, the kept lists) see only the tables the workers hand on, so
// a filter that holds back one table they could act on shows here.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "base/memory_budget.h"
#include "engine/condition_pass.h"
#include "engine/kept_tables.h"
#include "engine/option_a_passes.h"
#include "engine/problem.h"
#include "support/reference_enumeration.h"

namespace rxc {
namespace {

// Under a sanitizer, a quarter of the rounds: enough for races and faults to
// show, at a fraction of the run time.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr int kRoundsDivisor = 4;
#else
constexpr int kRoundsDivisor = 1;
#endif

using testing::randomMargins;
using testing::runReferencePass;

// The log-probabilities of a pass, for bounds drawn among them.
struct LogProbs {
  static constexpr bool kNeedsLogProb = true;
  template <class Table>
  bool visit(double logProb, const Table&) {
    values->push_back(logProb);
    return true;
  }
  std::vector<double>* values;
};

// Shapes with at least three interior positions, so that the pass splits.
Problem randomSplittableProblem(std::mt19937& random, std::vector<double>& logProbs) {
  static const int kShapes[][2] = {{3, 3}, {3, 4}, {4, 3}, {2, 5}, {5, 2}, {4, 4}};
  const auto& shape = kShapes[random() % std::size(kShapes)];
  const int r = shape[0], c = shape[1];
  std::vector<int16_t> rows, cols;
  randomMargins(random, r, c, r * c >= 16 ? 2 : 4, rows, cols);
  Problem problem = makeProblem(rows, cols);
  logProbs.clear();
  LogProbs listing{&logProbs};
  ProgressBar progress{};
  runReferencePass(problem, progress, listing);
  return problem;
}

Bound typedBound(double value) {
  Bound bound;
  bound.value = value;
  if (value > 0.0) bound.logValue = std::log(value);
  return bound;
}

// With 2 workers every piece runs on them; with 7 the calling thread first
// walks a piece or so alone (for 1 microsecond), then hands the rest on.
int aloneFor(int workers) { return workers == 2 ? 0 : 1; }

bool sameCells(const TableStore& a, const TableStore& b, int32_t slot, int cells) {
  return std::equal(a.slot(slot), a.slot(slot) + cells, b.slot(slot));
}

// What a condition pass leaves: its outcome and the kept lists, slot by slot.
struct ConditionRun {
  ConditionOutcome outcome;
  MemoryBudget memory;
  KeptTables kept;
};

void runCondition(const Problem& problem, const ConditionRequest& request, int workers,
                  ConditionRun& run) {
  run.kept = acquireKeptTables(run.memory, problem, request, 1.0f);
  ProgressBar progress{};
  run.outcome = runConditionPass(problem, request, run.kept, progress,
                                 PassOptions{true, workers, aloneFor(workers)});
}

void expectSameConditionRun(const ConditionRun& a, const ConditionRun& b, int cells) {
  EXPECT_EQ(a.outcome.tableCount, b.outcome.tableCount);
  EXPECT_EQ(a.outcome.count, b.outcome.count);
  EXPECT_EQ(a.outcome.sum, b.outcome.sum);
  EXPECT_EQ(a.outcome.maxLog, b.outcome.maxLog);
  EXPECT_EQ(a.outcome.maxRaises, b.outcome.maxRaises);
  EXPECT_EQ(a.outcome.tinyProbability, b.outcome.tinyProbability);
  const SelectionLists& x = a.kept.lists;
  const SelectionLists& y = b.kept.lists;
  ASSERT_EQ(x.highKept, y.highKept);
  ASSERT_EQ(x.lowKept, y.lowKept);
  EXPECT_EQ(x.highHead, y.highHead);
  EXPECT_EQ(x.highTail, y.highTail);
  EXPECT_EQ(x.lowHead, y.lowHead);
  EXPECT_EQ(x.lowTail, y.lowTail);
  for (int32_t k = 1; k <= x.highKept; ++k) {
    EXPECT_EQ(x.highNext[k], y.highNext[k]) << "high slot " << k;
    EXPECT_EQ(x.highLogProb[k], y.highLogProb[k]) << "high slot " << k;
    EXPECT_EQ(x.highOrder[k], y.highOrder[k]) << "high slot " << k;
    EXPECT_TRUE(sameCells(a.kept.highTables, b.kept.highTables, k, cells)) << "high slot " << k;
  }
  for (int32_t k = 1; k <= x.lowKept; ++k) {
    EXPECT_EQ(x.lowNext[k], y.lowNext[k]) << "low slot " << k;
    EXPECT_EQ(x.lowLogProb[k], y.lowLogProb[k]) << "low slot " << k;
    EXPECT_TRUE(sameCells(a.kept.lowTables, b.kept.lowTables, k, cells)) << "low slot " << k;
  }
}

TEST(Workers, ConditionPassOnSeveralWorkersIsThePassOnOne) {
  std::mt19937 random(15);
  std::vector<double> logProbs;
  for (int round = 0; round < 80 / kRoundsDivisor; ++round) {
    const Problem problem = randomSplittableProblem(random, logProbs);
    auto pick = [&] { return std::exp(logProbs[random() % logProbs.size()]); };
    ConditionRequest request;
    request.inclusive = random() % 2 == 0;
    const double a = pick(), b = pick();
    request.lower = typedBound(random() % 3 == 0 ? 0.0 : std::min(a, b));
    request.upper = typedBound(std::max(a, b));
    const int32_t counts[] = {0, 1, 3, 20};
    request.t1 = counts[random() % 4];
    request.t2 = counts[random() % 4];
    SCOPED_TRACE("round " + std::to_string(round) + ": " + problem.dimText + ", T1 " +
                 std::to_string(request.t1) + ", T2 " + std::to_string(request.t2));
    ConditionRun one;
    runCondition(problem, request, 1, one);
    for (int workers : {2, 7}) {
      ConditionRun several;
      runCondition(problem, request, workers, several);
      expectSameConditionRun(one, several, problem.r * problem.c);
    }
  }
}

struct TrackingRun {
  TrackingOutcome outcome;
  MemoryBudget memory;
  TableStore high, low;
};

void runTracking(const Problem& problem, ExtremeOption choice, int workers, TrackingRun& run) {
  const int cells = problem.r * problem.c;
  ASSERT_TRUE(run.high.acquire(run.memory, 1000, cells));
  ASSERT_TRUE(run.low.acquire(run.memory, 1000, cells));
  ProgressBar progress{};
  const FirstPassOutcome first = runFirstPass(problem, progress);
  run.outcome = runTrackingPass(problem, choice, first, run.high, run.low, 1000, progress,
                                PassOptions{true, workers, aloneFor(workers)});
}

TEST(Workers, TrackingPassOnSeveralWorkersIsThePassOnOne) {
  std::mt19937 random(16);
  std::vector<double> logProbs;
  for (int round = 0; round < 60 / kRoundsDivisor; ++round) {
    const Problem problem = randomSplittableProblem(random, logProbs);
    const auto choice = static_cast<ExtremeOption>(1 + random() % 3);
    SCOPED_TRACE("round " + std::to_string(round) + ": " + problem.dimText);
    TrackingRun one;
    runTracking(problem, choice, 1, one);
    for (int workers : {2, 7}) {
      TrackingRun several;
      runTracking(problem, choice, workers, several);
      const ExtremeTracking& x = one.outcome.extremes;
      const ExtremeTracking& y = several.outcome.extremes;
      EXPECT_EQ(one.outcome.tableCount, several.outcome.tableCount);
      EXPECT_EQ(x.modeLogProb, y.modeLogProb);
      EXPECT_EQ(x.minLogProb, y.minLogProb);
      EXPECT_EQ(x.modeCount, y.modeCount);
      EXPECT_EQ(x.minCount, y.minCount);
      ASSERT_EQ(x.modeKept, y.modeKept);
      ASSERT_EQ(x.minKept, y.minKept);
      const int cells = problem.r * problem.c;
      for (int32_t k = 1; k <= x.modeKept; ++k) {
        EXPECT_TRUE(sameCells(one.high, several.high, k, cells)) << "modal slot " << k;
      }
      for (int32_t k = 1; k <= x.minKept; ++k) {
        EXPECT_TRUE(sameCells(one.low, several.low, k, cells)) << "minimum slot " << k;
      }
    }
  }
}

}  // namespace
}  // namespace rxc
