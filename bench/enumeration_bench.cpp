// Throughput of the enumeration alone: count/<case> visits every table without
// a log-probability; expsum/<case> sums exp() of every log-probability in
// generation order; exponly/<case> sums exp() over the same log-probabilities
// read from memory, two at a time as the kernel hands them out, the floor that
// expsum cannot pass on this machine.
// items_per_second is tables per second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "base/fast_exp.h"
#include "bench_cases.h"
#include "engine/kernel/enumeration.h"
#include "engine/problem/progress.h"

namespace rxc::bench {
namespace {

struct CountVisitor {
  static constexpr bool kNeedsLogProb = false;
  template <class Table>
  bool visit(double, const Table&) {
    ++tables;
    return true;
  }
  uint64_t tables = 0;
};

struct ExpSumVisitor {
  static constexpr bool kNeedsLogProb = true;
  template <class Table>
  bool visit(double logProb, const Table&) {
    sum += fastExp(logProb);
    return true;
  }
  template <class Table>
  void visitPair(DoublePair logProbs, const Table&, const Table&) {
    const DoublePair probs = fastExp(logProbs);
    sum += probs[0];
    sum += probs[1];
  }
  double sum = 0.0;
};

template <class Visitor>
void runCase(benchmark::State& state, const BenchCase& c) {
  const Problem problem = problemOf(c);
  uint64_t tables = 0;
  for (auto _ : state) {
    Visitor visitor;
    ProgressBar progress{};
    const PassResult result = runPass(problem, progress, visitor);
    benchmark::DoNotOptimize(visitor);
    tables += result.tableCount;
  }
  state.SetItemsProcessed(static_cast<int64_t>(tables));
}

struct LogProbCollector {
  static constexpr bool kNeedsLogProb = true;
  template <class Table>
  bool visit(double logProb, const Table&) {
    logProbs->push_back(logProb);
    return logProbs->size() < limit;
  }
  std::vector<double>* logProbs;
  size_t limit;
};

void expOnly(benchmark::State& state, const BenchCase& c) {
  const Problem problem = problemOf(c);
  std::vector<double> logProbs;
  LogProbCollector collector{&logProbs, size_t{1} << 22};
  ProgressBar progress{};
  runPass(problem, progress, collector);
  for (auto _ : state) {
    double sum = 0.0;
    size_t k = 0;
    for (; k + 1 < logProbs.size(); k += 2) {
      const DoublePair probs = fastExp(loadPair(&logProbs[k]));
      sum += probs[0];
      sum += probs[1];
    }
    if (k < logProbs.size()) sum += fastExp(logProbs[k]);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(logProbs.size()));
}

const bool registered = [] {
  for (const BenchCase& c : benchCases()) {
    benchmark::RegisterBenchmark(("count/" + c.name).c_str(),
                                 [&c](benchmark::State& s) { runCase<CountVisitor>(s, c); });
    benchmark::RegisterBenchmark(("expsum/" + c.name).c_str(),
                                 [&c](benchmark::State& s) { runCase<ExpSumVisitor>(s, c); });
    benchmark::RegisterBenchmark(("exponly/" + c.name).c_str(),
                                 [&c](benchmark::State& s) { expOnly(s, c); });
  }
  return true;
}();

}  // namespace
}  // namespace rxc::bench
