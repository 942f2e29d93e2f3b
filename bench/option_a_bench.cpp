// Throughput of option A's tracking pass: optionA/<case> runs the pass that
// keeps the modal and the minimum-probability tables (both groups), starting
// from the values the first pass finds. items_per_second is tables per second.
#include <benchmark/benchmark.h>

#include "base/memory_budget.h"
#include "bench_cases.h"
#include "engine/enumeration.h"
#include "engine/extreme_tables.h"
#include "engine/option_a_passes.h"
#include "engine/progress.h"
#include "engine/table_store.h"

namespace rxc::bench {
namespace {

// The largest store a run can have.
constexpr int64_t kExtremeCapacity = 500000;

void runTrackingCase(benchmark::State& state, const BenchCase& c) {
  const Problem problem = problemOf(c);
  const Problem& input = problem;
  ProgressBar firstProgress{};
  const FirstPassOutcome first = runFirstPass(input, firstProgress);
  ExtremeTracking start;
  start.modeLogProb = first.modeLogProb;
  start.minLogProb = first.minLogProb;

  MemoryBudget budget;
  TableStore highTables, lowTables;
  const int cells = input.r * input.c;
  if (!highTables.acquire(budget, kExtremeCapacity, cells) ||
      !lowTables.acquire(budget, kExtremeCapacity, cells)) {
    state.SkipWithError("no memory for the stores");
    return;
  }

  uint64_t tables = 0;
  for (auto _ : state) {
    ExtremeTrackingVisitor<ExtremeOption::kBoth> visitor(start, highTables, lowTables,
                                                         kExtremeCapacity);
    ProgressBar progress{};
    const PassResult result = runPass(input, progress, visitor);
    ExtremeTracking found;
    visitor.storeInto(found);
    benchmark::DoNotOptimize(found);
    tables += result.tableCount;
  }
  state.SetItemsProcessed(static_cast<int64_t>(tables));
}

const bool registered = [] {
  for (const BenchCase& c : benchCases()) {
    benchmark::RegisterBenchmark(("optionA/" + c.name).c_str(),
                                 [&c](benchmark::State& s) { runTrackingCase(s, c); });
  }
  return true;
}();

}  // namespace
}  // namespace rxc::bench
