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

#include "bench_cases.h"
#include "dialogue/kept_table_storage.h"
#include "dialogue/session.h"
#include "engine/condition_pass.h"
#include "engine/enumeration.h"
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
std::vector<int16_t> medianTable(const EnumerationInput& input) {
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

void fillRunState(RunState& s, const BenchCase& c, const BenchProblem& problem) {
  const EnumerationInput& input = problem.input();
  s.r = static_cast<int16_t>(input.r);
  s.c = static_cast<int16_t>(input.c);
  s.n = input.n;
  s.shortSide = std::min(input.r, input.c);
  s.longSide = std::max(input.r, input.c);
  s.rowMargin.assign(1, 0);
  s.rowMargin.insert(s.rowMargin.end(), c.rows.begin(), c.rows.end());
  s.colMargin.assign(1, 0);
  s.colMargin.insert(s.colMargin.end(), c.cols.begin(), c.cols.end());
  s.logFactorial.extendTo(s.n + s.shortSide - 2);
  s.logMarginConst = input.logMarginConst;

  // Option C, L = 0 typed, U given as the observed table.
  s.runMode = 3;
  s.lEntry = 0.0;
  s.l = 0.0;
  s.uEntry = 9.0;
  s.tableEntered[2] = true;
  s.observedTables.assign(static_cast<size_t>(2 * input.r * input.c), 0);
  const std::vector<int16_t> observed = medianTable(input);
  std::copy(observed.begin(), observed.end(), s.observedTable(2));
  s.logU = observedTableLogProb(s.logFactorial, s.logMarginConst, s.observedTable(2), s.r, s.c);
  s.t1 = 10;
  s.t2 = 10;
}

void runFisher(benchmark::State& state, const BenchCase& c) {
  const BenchProblem problem(c);
  std::istringstream in;
  std::ostringstream console, report;
  Session session(in, console, report, MemoryBudget());
  fillRunState(session.state, c, problem);
  acquireKeptTableStores(session);

  double tables = 0.0;
  for (auto _ : state) {
    runConditionedPass(session);
    benchmark::DoNotOptimize(session.state.conditionSum);
    tables += session.state.tableCount;
  }
  state.SetItemsProcessed(static_cast<int64_t>(tables));
  state.counters["accepted"] = static_cast<double>(session.state.conditionCount);
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
