// Throughput of option A's tracking pass: optionA/<case> runs the pass that
// keeps the modal and the minimum-probability tables (both groups), starting
// from the values the first pass finds, with the bounded enumeration;
// optionA/<case>/full visits every table. items_per_second is tables per
// second (every table of the distribution counts, visited or not);
// visited_share is the share of them handed to the visitor.
// optionA/<case>/threads:N runs the whole pass (runTrackingPass) on 1 and on
// all available workers.
#include <benchmark/benchmark.h>

#include <string>

#include "base/memory_budget.h"
#include "bench_cases.h"
#include "engine/kernel/enumeration.h"
#include "engine/option_a/extreme_tables.h"
#include "engine/option_a/option_a_passes.h"
#include "engine/problem/progress.h"
#include "engine/stores/table_store.h"
#include "visit_counting.h"

namespace rxc::bench {
namespace {

// The largest store a run can have.
constexpr int64_t kExtremeCapacity = 500000;

// A case made ready for its tracking pass: the first pass run, the stores of
// the largest size a run can have acquired.
struct TrackingSetup {
  Problem problem;
  FirstPassOutcome first;
  MemoryBudget budget;
  TableStore highTables, lowTables;

  // False (and the benchmark skipped) when the stores cannot be had.
  bool prepare(benchmark::State& state, const BenchCase& c) {
    problem = problemOf(c);
    ProgressBar firstProgress{};
    first = runFirstPass(problem, firstProgress);
    const int cells = problem.r * problem.c;
    if (!highTables.acquire(budget, kExtremeCapacity, cells) ||
        !lowTables.acquire(budget, kExtremeCapacity, cells)) {
      state.SkipWithError("no memory for the stores");
      return false;
    }
    return true;
  }
};

void runTrackingCase(benchmark::State& state, const BenchCase& c, PassOptions options) {
  TrackingSetup setup;
  if (!setup.prepare(state, c)) return;
  ExtremeTracking start;
  start.modeLogProb = setup.first.modeLogProb;
  start.minLogProb = setup.first.minLogProb;
  uint64_t tables = 0;
  uint64_t visits = 0;
  for (auto _ : state) {
    ExtremeTracker tracker(ExtremeOption::kBoth, start, setup.highTables, setup.lowTables,
                           kExtremeCapacity);
    VisitCounting<ExtremeVisitor> visitor(tracker);
    ProgressBar progress{};
    const PassResult result = runPass(setup.problem, progress, visitor, options);
    ExtremeTracking found;
    tracker.storeInto(found);
    benchmark::DoNotOptimize(found);
    tables += result.tableCount;
    visits += visitor.visits;
  }
  state.SetItemsProcessed(static_cast<int64_t>(tables));
  state.counters["visited_share"] = static_cast<double>(visits) / static_cast<double>(tables);
}

// The whole tracking pass as a run makes it (runTrackingPass), on
// options.workers threads.
void runWholeTracking(benchmark::State& state, const BenchCase& c, PassOptions options) {
  TrackingSetup setup;
  if (!setup.prepare(state, c)) return;
  uint64_t tables = 0;
  for (auto _ : state) {
    ProgressBar progress{};
    const TrackingOutcome outcome =
        runTrackingPass(setup.problem, ExtremeOption::kBoth, setup.first, setup.highTables,
                        setup.lowTables, kExtremeCapacity, progress, options);
    benchmark::DoNotOptimize(outcome.extremes);
    tables += outcome.tableCount;
  }
  state.SetItemsProcessed(static_cast<int64_t>(tables));
  state.counters["workers"] = options.workers;
}

const bool registered = [] {
  for (const BenchCase& c : optionACases()) {
    for (int workers : workerCounts()) {
      benchmark::RegisterBenchmark(
          ("optionA/" + c.name + "/threads:" + std::to_string(workers)).c_str(),
          [&c, workers](benchmark::State& s) {
            runWholeTracking(s, c, PassOptions{true, workers});
          })
          ->Unit(benchmark::kMillisecond);
      // The full enumeration on threads (not 5 x 5 with marginals 10, whose
      // full pass takes minutes).
      if (c.name != "5x5_m10") {
        benchmark::RegisterBenchmark(
            ("optionA/" + c.name + "/full/threads:" + std::to_string(workers)).c_str(),
            [&c, workers](benchmark::State& s) {
              runWholeTracking(s, c, PassOptions{false, workers});
            })
            ->Unit(benchmark::kMillisecond);
      }
    }
    benchmark::RegisterBenchmark(("optionA/" + c.name).c_str(), [&c](benchmark::State& s) {
      runTrackingCase(s, c, PassOptions{true});
    });
    benchmark::RegisterBenchmark(
        ("optionA/" + c.name + "/full").c_str(),
        [&c](benchmark::State& s) { runTrackingCase(s, c, PassOptions{false}); });
  }
  return true;
}();

}  // namespace
}  // namespace rxc::bench
