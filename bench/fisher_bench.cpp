// Throughput of the option-C pass as a Fisher test runs it: L = 0 typed, U the
// probability of an observed table, T1 = T2 = 10. The observed table is the
// one of median probability (so about half of the tables are accepted and
// summed, and the kept lists see a steady stream of candidates).
// items_per_second is tables per second, comparable with expsum/<case>.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <utility>
#include <vector>

#include "base/fast_exp.h"
#include "bench_cases.h"
#include "engine/condition_pass.h"
#include "engine/enumeration.h"
#include "engine/kept_tables.h"
#include "engine/progress.h"

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

// A table near the middle of the distribution: the median of a regular sample
// of at most about 4096 tables taken in generation order.
std::vector<int16_t> medianTable(const Problem& input) {
  ProgressBar progress{};
  CountingVisitor counter;
  const uint64_t count = runPass(input, progress, counter).tableCount;
  SamplingVisitor sampler;
  sampler.stride = std::max<uint64_t>(1, count / 4096);
  runPass(input, progress, sampler);
  auto middle = sampler.samples.begin() + static_cast<std::ptrdiff_t>(sampler.samples.size() / 2);
  std::nth_element(sampler.samples.begin(), middle, sampler.samples.end());
  PickingVisitor picker;
  picker.target = middle->second;
  picker.cells.resize(static_cast<size_t>(input.r * input.c));
  runPass(input, progress, picker);
  return picker.cells;
}

// Option C, L = 0 typed, U given as the observed table, T1 = T2 = 10.
ConditionRequest fisherRequest(const Problem& problem) {
  ConditionRequest request;
  request.inclusive = true;
  request.upper.source = Bound::Source::kObservedTable;
  request.upper.observedTable = medianTable(problem);
  request.upper.logValue = observedTableLogProb(problem, request.upper.observedTable.data());
  request.upper.value = fastExp(*request.upper.logValue);
  request.t1 = 10;
  request.t2 = 10;
  return request;
}

void runFisher(benchmark::State& state, const BenchCase& c) {
  const Problem problem = problemOf(c);
  const ConditionRequest request = fisherRequest(problem);
  MemoryBudget memory;
  KeptTables kept = acquireKeptTables(memory, problem, request, 1.0f);
  ProgressBar progress;

  double tables = 0.0;
  ConditionOutcome outcome;
  for (auto _ : state) {
    outcome = runConditionPass(problem, request, kept, progress);
    benchmark::DoNotOptimize(outcome.sum);
    tables += static_cast<double>(outcome.tableCount);
  }
  state.SetItemsProcessed(static_cast<int64_t>(tables));
  state.counters["accepted"] = static_cast<double>(outcome.count);
}

const bool registered = [] {
  for (const BenchCase& c : benchCases()) {
    benchmark::RegisterBenchmark(("fisher/" + c.name).c_str(),
                                 [&c](benchmark::State& s) { runFisher(s, c); });
  }
  return true;
}();

}  // namespace
}  // namespace rxc::bench
