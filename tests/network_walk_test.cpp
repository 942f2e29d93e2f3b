// The network walk of options B and C against the enumeration's full walk:
// the same tables accepted, counted and kept, the same raises of the largest
// log-probability and the same progress marks, on random problems and
// requests; and its sums against the full walk's to far more digits than are
// printed.
#include "engine/condition/network_walk.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "base/memory_budget.h"
#include "base/tolerance.h"
#include "base/wide_real.h"
#include "engine/condition/condition_pass.h"
#include "engine/problem/progress.h"
#include "engine/stores/kept_tables.h"
#include "engine/stores/selection_lists.h"
#include "support/reference_enumeration.h"
#include "support/request_bounds.h"
#include "support/soak.h"
#include "system/stack_limit.h"

namespace rxc {
namespace {

using testing::tableBound;
using testing::typedBound;

// Every mark the bar shows, in order.
class RecordedMarks : public ProgressDisplay {
 public:
  void start() override {}
  void mark(int percent) override { marks += std::to_string(percent) + " "; }
  void finish() override {}
  std::string marks;
};

struct PassRun {
  ConditionOutcome outcome;
  std::vector<std::vector<int16_t>> listed;  // the kept tables in the report's order
  std::vector<double> listedLogs;
  std::string marks;
};

PassRun runPass(const Problem& problem, const ConditionRequest& request, float estimate,
                PassOptions options) {
  MemoryBudget memory;
  options.memory = &memory;
  KeptTables kept = acquireKeptTables(memory, problem, request, estimate);
  RecordedMarks display;
  ProgressBar progress(estimate, &display);
  PassRun run;
  run.outcome = runConditionPass(problem, request, kept, progress, options);
  for (const auto& table : kept.listing()) {
    run.listed.emplace_back(table.cells, table.cells + problem.r * problem.c);
    run.listedLogs.push_back(table.logProb);
  }
  run.marks = display.marks;
  return run;
}

// A table with the given margins, drawn by filling cells at random.
std::vector<int16_t> randomTable(std::mt19937& random, const Problem& problem) {
  std::vector<int32_t> rows(problem.rowMargin.begin(), problem.rowMargin.end());
  std::vector<int32_t> cols(problem.colMargin.begin(), problem.colMargin.end());
  std::vector<int16_t> cells(static_cast<size_t>(problem.r * problem.c), 0);
  for (int i = 0; i < problem.r; ++i) {
    for (int j = 0; j < problem.c; ++j) {
      int32_t laterCols = 0;
      for (int l = j + 1; l < problem.c; ++l) laterCols += cols[static_cast<size_t>(l)];
      int32_t laterRows = 0;
      for (int k = i + 1; k < problem.r; ++k) laterRows += rows[static_cast<size_t>(k)];
      const int32_t low = std::max(
          {0, rows[static_cast<size_t>(i)] - laterCols, cols[static_cast<size_t>(j)] - laterRows});
      const int32_t high = std::min(rows[static_cast<size_t>(i)], cols[static_cast<size_t>(j)]);
      const int32_t x = std::uniform_int_distribution<int32_t>(low, high)(random);
      cells[static_cast<size_t>(i * problem.c + j)] = static_cast<int16_t>(x);
      rows[static_cast<size_t>(i)] -= x;
      cols[static_cast<size_t>(j)] -= x;
    }
  }
  return cells;
}

ConditionRequest randomRequest(std::mt19937& random, const Problem& problem) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  ConditionRequest request;
  request.inclusive = pick(0, 1) == 1;
  switch (pick(0, 3)) {
    case 0:  // Fisher's test: L = 0, U an observed table
      request.inclusive = true;
      request.upper = tableBound(problem, randomTable(random, problem));
      break;
    case 1:  // both bounds tables
      request.lower = tableBound(problem, randomTable(random, problem));
      request.upper = tableBound(problem, randomTable(random, problem));
      break;
    case 2:  // typed bounds
      request.lower = typedBound(pick(0, 1) == 0 ? 0.0 : std::exp(-pick(1, 12) * 0.7));
      request.upper = typedBound(pick(0, 3) == 0 ? 1.0 : std::exp(-pick(0, 8) * 0.5));
      break;
    default:  // a table below, 1 above
      request.lower = tableBound(problem, randomTable(random, problem));
      request.upper = typedBound(1.0);
      break;
  }
  request.t1 = pick(0, 4) == 0 ? 0 : pick(1, 12);
  request.t2 = pick(0, 4) == 0 ? 0 : pick(1, 12);
  return request;
}

void expectSameRun(const PassRun& network, const PassRun& full, const std::string& where) {
  const ConditionOutcome& a = network.outcome;
  const ConditionOutcome& b = full.outcome;
  EXPECT_EQ(a.tableCount, b.tableCount) << where;
  EXPECT_EQ(a.count, b.count) << where;
  EXPECT_EQ(a.maxLog, b.maxLog) << where;
  EXPECT_EQ(a.maxRaises, b.maxRaises) << where;
  EXPECT_EQ(a.tinyProbability, b.tinyProbability) << where;
  EXPECT_EQ(network.listed, full.listed) << where;
  EXPECT_EQ(network.listedLogs, full.listedLogs) << where;
  EXPECT_EQ(network.marks, full.marks) << where;
  if (b.sum > 0.0) {
    EXPECT_NEAR(a.sum / b.sum, 1.0, 1e-12) << where;
  } else {
    EXPECT_EQ(a.sum, 0.0) << where;
  }
}

TEST(NetworkWalk, AgreesWithTheFullWalkOnRandomRequests) {
  const testing::Soak soak = testing::soak(400, 20261210);
  std::mt19937 random(soak.seed);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  for (int round = 0; round < soak.rounds; ++round) {
    const int r = pick(2, 5);
    const int c = pick(2, 5);
    const int n = pick(std::max(r, c), r * c <= 12 ? 24 : 14);
    const Problem problem = makeProblem(testing::randomComposition(random, n, r),
                                        testing::randomComposition(random, n, c));
    const ConditionRequest request = randomRequest(random, problem);
    // A small estimate puts marks among the first tables, inside subtrees the
    // walk decides whole.
    const float estimate = static_cast<float>(pick(1, 3000));
    PassOptions full;
    full.bounded = false;
    const PassRun expected = runPass(problem, request, estimate, full);
    const PassRun walked = runPass(problem, request, estimate, PassOptions{});
    expectSameRun(walked, expected, "round " + std::to_string(round));
    // Without room for its memo (none, or a few kilobytes): no reuse, or
    // little, and the same run. In half the rounds, with the rejected
    // subtrees counted one by one instead of every table at once.
    PassOptions cramped;
    cramped.networkMemoBytes = round % 2 == 0 ? 0 : 48 * 1024;
    if (round % 4 >= 2) cramped.networkTotalCountWork = 0;
    expectSameRun(runPass(problem, request, estimate, cramped), expected,
                  "round " + std::to_string(round) + ", memo of " +
                      std::to_string(cramped.networkMemoBytes) + " bytes");
    if (::testing::Test::HasFailure()) break;
  }
}

}  // namespace
}  // namespace rxc

namespace rxc {
namespace {

// The walk called directly, for how it went: how many subtrees it reused.
NetworkOutcome walkDirectly(const Problem& problem, const ConditionRequest& request) {
  MemoryBudget memory;
  KeptTables kept = acquireKeptTables(memory, problem, request, 1e6f);
  TableSelector selector(kept.lists, kept.highTables, kept.lowTables, request.t1, request.t2,
                         problem.r * problem.c);
  OrderedSteps steps(selector, -2.0e300, 0);
  ProgressBar progress;
  const AcceptedRange range = AcceptedRange::atMost(toleranceBand(*request.upper.logValue).high);
  return runNetworkWalk(problem, range, steps, progress, &memory, uint64_t{64} << 20);
}

// A test of Fisher's: rows, columns and the observed table (row-major).
struct FisherCase {
  std::vector<int16_t> rows, cols, observed;
};

// Option C with U the observed table, keeping t tables each way.
ConditionRequest fisherRequest(const Problem& problem, const FisherCase& c, int t) {
  ConditionRequest request;
  request.inclusive = true;
  request.upper = tableBound(problem, c.observed);
  request.t1 = t;
  request.t2 = t;
  return request;
}

// The walked pass against the full enumeration's; returns the latter.
PassRun expectAgreesWithTheFullWalk(const Problem& problem, const ConditionRequest& request) {
  PassOptions full;
  full.bounded = false;
  const PassRun expected = runPass(problem, request, 1e6f, full);
  expectSameRun(runPass(problem, request, 1e6f, PassOptions{}), expected, problem.dimText);
  return expected;
}

// Fisher's test on larger margins, where subtrees are decided and reused, at
// the same past and at others.
TEST(NetworkWalk, AgreesWithTheFullWalkOnLargerFisherTests) {
  // A few hundred thousand tables each, so that the full walk stays quick.
  const std::vector<FisherCase> cases = {
      {{30, 30, 30}, {30, 30, 30}, {12, 10, 8, 10, 11, 9, 8, 9, 13}},
      {{10, 11, 9, 8}, {4, 9, 13, 12}, {1, 3, 4, 2, 2, 2, 4, 3, 1, 3, 2, 3, 0, 1, 3, 4}},
      {{6, 5, 7, 4}, {3, 4, 4, 3, 4, 4}, {1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1,
                                          1, 1, 2, 0, 1, 2, 0, 1, 1, 1, 1, 0}},
      // Equal columns: the observed table's column permutations tie with it,
      // and many paths reach a node with the same past from other cells.
      {{20, 20}, {4, 4, 4, 4, 4, 4, 4, 4, 4, 4}, {4, 4, 4, 0, 0, 0, 2, 3, 2, 1,  //
                                                  0, 0, 0, 4, 4, 4, 2, 1, 2, 3}},
  };
  for (const FisherCase& c : cases) {
    const Problem problem = makeProblem(c.rows, c.cols);
    const ConditionRequest request = fisherRequest(problem, c, 5);
    const PassRun expected = expectAgreesWithTheFullWalk(problem, request);
    const NetworkOutcome direct = walkDirectly(problem, request);
    EXPECT_EQ(direct.count, expected.outcome.count) << problem.dimText;
    EXPECT_GT(direct.merged, 0u) << problem.dimText;
    EXPECT_GT(direct.shifted, 0u) << problem.dimText;
  }
}

// Margins in the thousands: the terms of one leaf node run over thousands of
// binary orders of magnitude, which the leaf's running product brings back to
// scale as it goes; the sums still agree with the full walk's.
TEST(NetworkWalk, AgreesWithTheFullWalkWhereALeafsTermsSpanAWideRange) {
  const std::vector<FisherCase> cases = {
      {{1500, 1500}, {1500, 1500}, {760, 740, 740, 760}},
      {{1500, 1500}, {1500, 1500}, {650, 850, 850, 650}},
      {{700, 650, 600}, {1000, 950}, {350, 350, 300, 350, 350, 250}},
  };
  for (const FisherCase& c : cases) {
    const Problem problem = makeProblem(c.rows, c.cols);
    expectAgreesWithTheFullWalk(problem, fisherRequest(problem, c, 3));
  }
}

}  // namespace
}  // namespace rxc

namespace rxc {
namespace {

// The walk recurses once per interior cell: it takes a shape only when that
// recursion fits in half of the stack the run may use (`ulimit -s`), and
// leaves larger ones to the enumeration's walk.
TEST(NetworkWalk, TakesOnlyShapesWhoseRecursionFitsTheStack) {
  auto shape = [](int r, int c) {
    return makeProblem(std::vector<int16_t>(static_cast<size_t>(r), static_cast<int16_t>(c)),
                       std::vector<int16_t>(static_cast<size_t>(c), static_cast<int16_t>(r)));
  };
  const uint64_t usual = uint64_t{8} << 20;
  EXPECT_TRUE(networkWalkFits(shape(5, 7), usual));
  EXPECT_TRUE(networkWalkFits(shape(21, 100), usual));  // 1980 interior cells
  EXPECT_FALSE(networkWalkFits(shape(30, 100), usual));
  EXPECT_FALSE(networkWalkFits(shape(100, 100), usual));
  const uint64_t small = uint64_t{256} << 10;
  EXPECT_TRUE(networkWalkFits(shape(5, 7), small));
  EXPECT_FALSE(networkWalkFits(shape(3, 100), small));
  EXPECT_FALSE(networkWalkFits(shape(2, 2), 0));
}

}  // namespace
}  // namespace rxc

namespace rxc {
namespace {

// The stack the run may use is the process's soft limit, as `ulimit -s` sets
// it; an unlimited one reads as 64 MiB.
TEST(NetworkWalk, ReadsTheProcessStackLimit) {
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_STACK, &saved), 0);
  rlimit lowered = saved;
  lowered.rlim_cur = rlim_t{4} << 20;
  if (saved.rlim_max != RLIM_INFINITY && saved.rlim_max < lowered.rlim_cur) GTEST_SKIP();
  ASSERT_EQ(::setrlimit(RLIMIT_STACK, &lowered), 0);
  EXPECT_EQ(mainStackBytes(), uint64_t{4} << 20);
  if (saved.rlim_max == RLIM_INFINITY) {
    rlimit unlimited = saved;
    unlimited.rlim_cur = RLIM_INFINITY;
    ASSERT_EQ(::setrlimit(RLIMIT_STACK, &unlimited), 0);
    EXPECT_EQ(mainStackBytes(), uint64_t{64} << 20);
  }
  ASSERT_EQ(::setrlimit(RLIMIT_STACK, &saved), 0);
}

}  // namespace
}  // namespace rxc
