// Throughput of the condition passes. fisher/<case>: option C as a Fisher
// test runs it, L = 0 typed, U the probability of an observed table, T1 = T2 =
// 10; the observed table is the one of median probability (so about half of
// the tables are accepted and summed, and the kept lists see a steady stream
// of candidates). fisher_tail/<case>: the same with an observed table at the
// 2nd percentile of probability, a p-value near 0.02, where most of the
// tables are more probable than the observed one and whole blocks of them may
// be skipped. optionB/4x4_m20_band: option B with a narrow band. Each with
// the bounded enumeration and, as <name>/full, visiting every table.
// items_per_second is tables per second (every table of the distribution,
// visited or not), comparable with expsum/<case>; visited_share is the share
// of the tables handed to the visitor. fisher/<case>/threads:N runs the whole
// pass (runConditionPass) on 1 and on all available workers.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "base/fast_exp.h"
#include "base/memory_budget.h"
#include "base/tolerance.h"
#include "bench_cases.h"
#include "engine/condition/condition_pass.h"
#include "engine/condition/condition_visitor.h"
#include "engine/condition/exact_probabilities.h"
#include "engine/kernel/enumeration.h"
#include "engine/problem/progress.h"
#include "engine/stores/kept_tables.h"
#include "engine/stores/selection_lists.h"
#include "visit_counting.h"

namespace rxc::bench {
namespace {

struct CountingVisitor {
  static constexpr bool kNeedsLogProb = false;
  template <class Table>
  bool visit(double, const Table&) {
    return true;
  }
};

// Every `stride`-th table's log-probability with its ordinal.
struct SamplingVisitor {
  static constexpr bool kNeedsLogProb = true;
  template <class Table>
  bool visit(double logProb, const Table&) {
    if (++ordinal % stride == 0) samples.emplace_back(logProb, ordinal);
    return true;
  }
  uint64_t stride = 1;
  uint64_t ordinal = 0;
  std::vector<std::pair<double, uint64_t>> samples;
};

// Copies out the table of a given ordinal and stops there.
struct PickingVisitor {
  static constexpr bool kNeedsLogProb = false;
  template <class Table>
  bool visit(double, const Table& table) {
    if (++ordinal < target) return true;
    table.copyTo(cells.data());
    return false;
  }
  uint64_t target = 0;
  uint64_t ordinal = 0;
  std::vector<int16_t> cells;
};

// The table at quantile `q` of probability (0.5: near the middle of the
// distribution) in a regular sample of at most about 4096 tables taken in
// generation order.
std::vector<int16_t> quantileTable(const Problem& input, double q) {
  ProgressBar progress{};
  CountingVisitor counter;
  const uint64_t count = runPass(input, progress, counter).tableCount;
  SamplingVisitor sampler;
  sampler.stride = std::max<uint64_t>(1, count / 4096);
  runPass(input, progress, sampler);
  auto middle = sampler.samples.begin() +
                static_cast<std::ptrdiff_t>(static_cast<double>(sampler.samples.size()) * q);
  std::nth_element(sampler.samples.begin(), middle, sampler.samples.end());
  PickingVisitor picker;
  picker.target = middle->second;
  picker.cells.resize(static_cast<size_t>(input.r * input.c));
  runPass(input, progress, picker);
  return picker.cells;
}

// Option C, L = 0 typed, U given as the observed table (at quantile q of the
// tables' probabilities), T1 = T2 = 10.
ConditionRequest fisherRequest(const Problem& problem, double q = 0.5) {
  ConditionRequest request;
  request.inclusive = true;
  request.upper.source = Bound::Source::kObservedTable;
  request.upper.observedTable = quantileTable(problem, q);
  request.upper.logValue = observedTableLogProb(problem, request.upper.observedTable.data());
  request.upper.value = fastExp(*request.upper.logValue);
  request.t1 = 10;
  request.t2 = 10;
  return request;
}

// One condition pass as the engine runs it, counting the tables handed to
// the visitor.
void runConditionCase(benchmark::State& state, const Problem& problem, AcceptedRange range,
                      const ConditionRequest& request, PassOptions options) {
  MemoryBudget memory;
  KeptTables kept = acquireKeptTables(memory, problem, request, 1.0f);
  const ExactProbabilities exact(problem);
  uint64_t tables = 0;
  uint64_t visits = 0;
  int64_t accepted = 0;
  for (auto _ : state) {
    TableSelector selector(kept.lists, kept.highTables, kept.lowTables, request.t1, request.t2,
                           problem.r * problem.c);
    OrderedSteps steps(selector, -2.0e300, 0);
    VisitCounting<ConditionVisitor> visitor(range, steps, exact);
    ProgressBar progress;
    const PassResult result = runPass(problem, progress, visitor, options);
    selector.finishPass();
    benchmark::DoNotOptimize(visitor.sum().rounded());
    tables += result.tableCount;
    visits += visitor.visits;
    accepted = visitor.count();
  }
  state.SetItemsProcessed(static_cast<int64_t>(tables));
  state.counters["accepted"] = static_cast<double>(accepted);
  state.counters["visited_share"] = static_cast<double>(visits) / static_cast<double>(tables);
}

void runFisher(benchmark::State& state, const BenchCase& c, PassOptions options, double q = 0.5) {
  const Problem problem = problemOf(c);
  const ConditionRequest request = fisherRequest(problem, q);
  // Option C with L = 0 typed: up to U's band widened by the tolerance.
  const double upper = toleranceBand(*request.upper.logValue).high;
  runConditionCase(state, problem, AcceptedRange::atMost(upper), request, options);
}

// The whole condition pass as a run makes it (runConditionPass), on
// `workers` threads: the same pass on one thread and on all that the process
// may use.
void runWholePass(benchmark::State& state, const Problem& problem, const ConditionRequest& request,
                  int workers) {
  MemoryBudget memory;
  KeptTables kept = acquireKeptTables(memory, problem, request, 1.0f);
  uint64_t tables = 0;
  for (auto _ : state) {
    ProgressBar progress;
    const ConditionOutcome outcome =
        runConditionPass(problem, request, kept, progress, PassOptions{true, workers});
    benchmark::DoNotOptimize(outcome.sum);
    tables += outcome.tableCount;
  }
  state.SetItemsProcessed(static_cast<int64_t>(tables));
  state.counters["workers"] = workers;
}

// Option B with L = 1e-9 and U = 1e-8 typed, T1 = T2 = 10, on 4 x 4 with every
// marginal 20 (1,173,759,851 tables, 2 % of them accepted).
void runBand(benchmark::State& state, PassOptions options) {
  const Problem problem = makeProblem(std::vector<int16_t>(4, 20), std::vector<int16_t>(4, 20));
  ConditionRequest request;
  request.lower.value = 1e-9;
  request.lower.logValue = std::log(1e-9);
  request.upper.value = 1e-8;
  request.upper.logValue = std::log(1e-8);
  request.t1 = 10;
  request.t2 = 10;
  const AcceptedRange band{toleranceBand(*request.lower.logValue).high,
                           toleranceBand(*request.upper.logValue).low};
  runConditionCase(state, problem, band, request, options);
}

// The observed table of fisher_tail/<case>: a p-value near 0.02.
constexpr double kTailQuantile = 0.02;

const bool registered = [] {
  for (const BenchCase& c : benchCases()) {
    benchmark::RegisterBenchmark(("fisher/" + c.name).c_str(),
                                 [&c](benchmark::State& s) { runFisher(s, c, PassOptions{true}); });
    benchmark::RegisterBenchmark(("fisher/" + c.name + "/full").c_str(), [&c](benchmark::State& s) {
      runFisher(s, c, PassOptions{false});
    });
  }
  // A small p-value, on the two shapes where a Fisher pass takes longest.
  for (const BenchCase& c : benchCases()) {
    if (c.name != "4x4_m12" && c.name != "3x6") continue;
    benchmark::RegisterBenchmark(("fisher_tail/" + c.name).c_str(), [&c](benchmark::State& s) {
      runFisher(s, c, PassOptions{true}, kTailQuantile);
    });
    benchmark::RegisterBenchmark(
        ("fisher_tail/" + c.name + "/full").c_str(),
        [&c](benchmark::State& s) { runFisher(s, c, PassOptions{false}, kTailQuantile); });
  }
  // One core against all: fisher/<case>/threads:N, and a whole Fisher pass on
  // 4 x 4 with every marginal 20 (1,173,759,851 tables), U near the middle.
  std::vector<BenchCase> threaded = benchCases();
  threaded.push_back({"4x4_m20", std::vector<int16_t>(4, 20), std::vector<int16_t>(4, 20)});
  for (const BenchCase& c : threaded) {
    for (int workers : workerCounts()) {
      benchmark::RegisterBenchmark(
          ("fisher/" + c.name + "/threads:" + std::to_string(workers)).c_str(),
          [c, workers](benchmark::State& s) {
            const Problem problem = problemOf(c);
            runWholePass(s, problem, fisherRequest(problem), workers);
          })
          ->Unit(benchmark::kMillisecond);
    }
  }
  benchmark::RegisterBenchmark("optionB/4x4_m20_band",
                               [](benchmark::State& s) { runBand(s, PassOptions{true}); });
  benchmark::RegisterBenchmark("optionB/4x4_m20_band/full",
                               [](benchmark::State& s) { runBand(s, PassOptions{false}); });
  return true;
}();

}  // namespace
}  // namespace rxc::bench
