// Fisher's test on the cases it is compared on with R's fisher.test (the
// network algorithm): fisher_r/<case> runs the whole condition pass as a run
// makes it (option C, L = 0 typed, U the observed table, T1 = T2 = 10), with
// the network walk; fisher_r/<case>/full visits every table, where that ends
// in reasonable time. optionB/4x4_m20_network is the narrow band of
// optionB/4x4_m20_band (fisher_bench.cpp) run the same way. items_per_second
// is tables per second (every table of the distribution); visited_share the
// share of them visited one by one; nodes counts the walk's nodes walked child
// by child, merged and shifted the subtrees it took from its memo at the same
// past and at another.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "base/memory_budget.h"
#include "base/tolerance.h"
#include "engine/condition/condition_pass.h"
#include "engine/condition/condition_visitor.h"
#include "engine/condition/network_walk.h"
#include "engine/problem/progress.h"
#include "engine/stores/kept_tables.h"
#include "engine/stores/selection_lists.h"

namespace rxc::bench {
namespace {

struct FisherCase {
  std::string name;
  std::vector<int16_t> observed;  // row-major
  int r;
  int c;
  bool full;  // whether the full walk ends in reasonable time
};

const std::vector<FisherCase>& fisherCases() {
  static const std::vector<FisherCase> cases = {
      {"job_4x4", {1, 3, 10, 6, 2, 3, 10, 7, 1, 6, 14, 12, 0, 1, 9, 11}, 4, 4, true},
      {"5x7",
       {1, 2, 2, 1, 1, 0, 1, 2, 0, 0, 2, 3, 0, 0, 0, 1, 1, 1,
        2, 7, 3, 1, 1, 2, 0, 0, 0, 1, 0, 1, 1, 1, 1, 0, 0},
       5,
       7,
       false},
      {"4x4_m25", {10, 5, 4, 6, 3, 9, 7, 5, 6, 4, 8, 7, 4, 6, 5, 11}, 4, 4, false},
      {"4x4_m50", {20, 10, 12, 8, 9, 18, 11, 12, 12, 10, 16, 12, 9, 12, 11, 18}, 4, 4, false},
      {"5x5_m20",
       {8, 4, 3, 2, 3, 3, 7, 5, 3, 2, 4, 3, 6, 4, 3, 2, 5, 3, 7, 3, 3, 1, 3, 4, 9},
       5,
       5,
       false},
      {"3x3_m250", {100, 80, 70, 80, 90, 80, 70, 80, 100}, 3, 3, false},
      {"5x5_m6",
       {3, 1, 1, 0, 1, 1, 2, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 2, 1, 0, 1, 1, 2, 2},
       5,
       5,
       true},
      // Rows 35, 35; columns 3,6,6,3,4,6,5,6,2,6,2,5,4,6,3,3: equal columns,
      // whose permutations reach a node with the same past from other cells.
      {"2x16",
       {2, 3, 5, 2, 2, 5, 1, 1, 2, 1, 2, 3, 0, 5, 0, 1,
        1, 3, 1, 1, 2, 1, 4, 5, 0, 5, 0, 2, 4, 1, 3, 2},
       2,
       16,
       false},
  };
  return cases;
}

Problem problemOf(const FisherCase& c) {
  std::vector<int16_t> rows(static_cast<size_t>(c.r), 0);
  std::vector<int16_t> cols(static_cast<size_t>(c.c), 0);
  for (int i = 0; i < c.r; ++i) {
    for (int j = 0; j < c.c; ++j) {
      const int16_t v = c.observed[static_cast<size_t>(i * c.c + j)];
      rows[static_cast<size_t>(i)] = static_cast<int16_t>(rows[static_cast<size_t>(i)] + v);
      cols[static_cast<size_t>(j)] = static_cast<int16_t>(cols[static_cast<size_t>(j)] + v);
    }
  }
  return makeProblem(rows, cols);
}

ConditionRequest fisherRequest(const Problem& problem, const std::vector<int16_t>& observed) {
  ConditionRequest request;
  request.inclusive = true;
  request.upper.source = Bound::Source::kObservedTable;
  request.upper.observedTable = observed;
  request.upper.logValue = observedTableLogProb(problem, observed.data());
  request.upper.value = std::exp(*request.upper.logValue);
  request.t1 = 10;
  request.t2 = 10;
  return request;
}

// The whole pass, as a run makes it, with `options`.
void runWholePass(benchmark::State& state, const Problem& problem, const ConditionRequest& request,
                  PassOptions options) {
  MemoryBudget memory;
  options.memory = &memory;
  uint64_t tables = 0;
  double pValue = 0.0;
  for (auto _ : state) {
    KeptTables kept = acquireKeptTables(memory, problem, request, 1.0f);
    ProgressBar progress;
    const ConditionOutcome outcome = runConditionPass(problem, request, kept, progress, options);
    benchmark::DoNotOptimize(outcome.sum);
    tables += outcome.tableCount;
    pValue = outcome.sum;
  }
  state.SetItemsProcessed(static_cast<int64_t>(tables));
  state.counters["p"] = pValue;
}

// The network walk alone, with its own counts of nodes and visits.
void runNetwork(benchmark::State& state, const Problem& problem, const ConditionRequest& request) {
  MemoryBudget memory;
  NetworkOutcome walked;
  const bool lowerTyped0 = request.lower.typedAs(0.0);
  const LogBand upper = toleranceBand(*request.upper.logValue);
  const AcceptedRange range =
      lowerTyped0 ? AcceptedRange::atMost(request.inclusive ? upper.high : upper.low)
                  : AcceptedRange{request.inclusive ? toleranceBand(*request.lower.logValue).low
                                                    : toleranceBand(*request.lower.logValue).high,
                                  request.inclusive ? upper.high : upper.low};
  for (auto _ : state) {
    KeptTables kept = acquireKeptTables(memory, problem, request, 1.0f);
    TableSelector selector(kept.lists, kept.highTables, kept.lowTables, request.t1, request.t2,
                           problem.r * problem.c);
    OrderedSteps steps(selector, -2.0e300, 0);
    ProgressBar progress;
    walked = runNetworkWalk(problem, range, steps, progress, &memory, uint64_t{512} << 20);
    benchmark::DoNotOptimize(walked.sum);
  }
  state.SetItemsProcessed(static_cast<int64_t>(walked.tableCount * state.iterations()));
  state.counters["visited_share"] =
      static_cast<double>(walked.visitedTables) / static_cast<double>(walked.tableCount);
  state.counters["nodes"] = static_cast<double>(walked.nodes);
  state.counters["merged"] = static_cast<double>(walked.merged);
  state.counters["shifted"] = static_cast<double>(walked.shifted);
}

ConditionRequest bandRequest() {
  ConditionRequest request;
  request.lower.value = 1e-9;
  request.lower.logValue = std::log(1e-9);
  request.upper.value = 1e-8;
  request.upper.logValue = std::log(1e-8);
  request.t1 = 10;
  request.t2 = 10;
  return request;
}

const bool registered = [] {
  for (const FisherCase& c : fisherCases()) {
    benchmark::RegisterBenchmark(("fisher_r/" + c.name).c_str(), [&c](benchmark::State& s) {
      const Problem problem = problemOf(c);
      runNetwork(s, problem, fisherRequest(problem, c.observed));
    })->Unit(benchmark::kMillisecond);
    if (!c.full) continue;
    benchmark::RegisterBenchmark(("fisher_r/" + c.name + "/full").c_str(), [&c](benchmark::State&
                                                                                    s) {
      const Problem problem = problemOf(c);
      PassOptions full;
      full.bounded = false;
      runWholePass(s, problem, fisherRequest(problem, c.observed), full);
    })->Unit(benchmark::kMillisecond);
  }
  // Option B with 1e-9 < p < 1e-8 on 4 x 4 with every marginal 20.
  benchmark::RegisterBenchmark("optionB/4x4_m20_network", [](benchmark::State& s) {
    const Problem problem = makeProblem(std::vector<int16_t>(4, 20), std::vector<int16_t>(4, 20));
    runNetwork(s, problem, bandRequest());
  })->Unit(benchmark::kMillisecond);
  return true;
}();

}  // namespace
}  // namespace rxc::bench
