// The cost of listing every table. listing/<case>/T:<n>: option C with L = 0
// and U = 1 typed, so that every table is accepted, and T1 = T2 = n: with
// n = 0 the pass keeps nothing, with n = 1000000000 it keeps every table in
// its kept lists (the high list takes them all), most of them placed in the
// middle of a long list. The whole pass as a run makes it (runConditionPass),
// on one worker, or on all with /threads:N. items_per_second is tables per
// second; listing them should cost about as much as visiting them.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench_cases.h"
#include "engine/condition/condition_pass.h"
#include "engine/problem/progress.h"
#include "engine/problem/request.h"
#include "engine/stores/kept_tables.h"

namespace rxc::bench {
namespace {

// Option C, L = 0 and U = 1 typed, T1 = T2 = `listed`.
ConditionRequest everyTable(int32_t listed) {
  ConditionRequest request;
  request.inclusive = true;
  request.lower.value = 0.0;
  request.upper.value = 1.0;
  request.upper.logValue = 0.0;
  request.t1 = listed;
  request.t2 = listed;
  return request;
}

void runListing(benchmark::State& state, const BenchCase& c, int32_t listed, int workers) {
  const Problem problem = problemOf(c);
  const ConditionRequest request = everyTable(listed);
  uint64_t tables = 0;
  int32_t kept = 0;
  for (auto _ : state) {
    // Fresh stores every pass, so that each pass pays for their growth as a
    // run does.
    MemoryBudget memory;
    KeptTables stores = acquireKeptTables(memory, problem, request, 1.0f);
    ProgressBar progress;
    const ConditionOutcome outcome =
        runConditionPass(problem, request, stores, progress, PassOptions{true, workers});
    benchmark::DoNotOptimize(outcome.sum);
    tables += outcome.tableCount;
    kept = stores.lists.high.kept() + stores.lists.low.kept();
  }
  state.SetItemsProcessed(static_cast<int64_t>(tables));
  state.counters["kept"] = kept;
}

const bool registered = [] {
  // 3 x 4: rows of 12 and columns of 9 (64,405 tables), and rows of 20 and
  // columns of 15 (965,071 tables).
  static const std::vector<BenchCase> cases = {
      {"3x4_m12x9", {12, 12, 12}, {9, 9, 9, 9}},
      {"3x4_m20x15", {20, 20, 20}, {15, 15, 15, 15}},
  };
  for (const BenchCase& c : cases) {
    for (int32_t listed : {0, 1000000000}) {
      const std::string name = "listing/" + c.name + "/T:" + std::to_string(listed);
      benchmark::RegisterBenchmark(name.c_str(), [&c, listed](benchmark::State& s) {
        runListing(s, c, listed, 1);
      })->Unit(benchmark::kMillisecond);
    }
  }
  const BenchCase& million = cases.back();
  for (int workers : workerCounts()) {
    if (workers == 1) continue;
    const std::string name =
        "listing/" + million.name + "/T:1000000000/threads:" + std::to_string(workers);
    benchmark::RegisterBenchmark(name.c_str(), [&million, workers](benchmark::State& s) {
      runListing(s, million, 1000000000, workers);
    })->Unit(benchmark::kMillisecond);
  }
  return true;
}();

}  // namespace
}  // namespace rxc::bench
