// The exact accumulator alone, against plain double additions, on 65536 terms
// held in memory: items_per_second is additions per second.
//   sumadd/plain/<terms>  one double, added in order (one rounding per term)
//   sumadd/exact/<terms>  one ExactSum
//   sumadd/exact2/<terms> two ExactSums, alternate terms
//   sumadd/buffered/<terms> one BufferedExactSum, two terms at a time, as the
//                         condition pass adds them (total() read at the end)
// <terms>: "spread", probabilities over about 20 binary orders; "same", every
// term of one exponent (each addition reads the bucket the last one wrote).
// sumend/rounded and sumend/merge time the end-of-pass steps, once each.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "base/double_pair.h"
#include "base/exact_sum.h"

namespace rxc::bench {
namespace {

std::vector<double> terms(bool spread) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> logs(-14.0, 0.0);
  std::uniform_real_distribution<double> sameExponent(0.5, 1.0);
  std::vector<double> out(65536);
  for (double& p : out) p = spread ? std::exp(logs(rng)) : sameExponent(rng);
  return out;
}

void plainSum(benchmark::State& state, bool spread) {
  const std::vector<double> t = terms(spread);
  double sum = 0.0;
  for (auto _ : state) {
    for (double p : t) sum += p;
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * t.size()));
}

void exactSum(benchmark::State& state, bool spread) {
  const std::vector<double> t = terms(spread);
  ExactSum sum;
  for (auto _ : state) {
    for (double p : t) sum.add(p);
    benchmark::DoNotOptimize(&sum);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * t.size()));
}

void exactSumTwoLanes(benchmark::State& state, bool spread) {
  const std::vector<double> t = terms(spread);
  ExactSum lanes[2];
  for (auto _ : state) {
    for (size_t k = 0; k < t.size(); k += 2) {
      lanes[0].add(t[k]);
      lanes[1].add(t[k + 1]);
    }
    benchmark::DoNotOptimize(&lanes);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * t.size()));
}

void bufferedSum(benchmark::State& state, bool spread) {
  const std::vector<double> t = terms(spread);
  BufferedExactSum sum;
  for (auto _ : state) {
    for (size_t k = 0; k < t.size(); k += 2) sum.addPair(loadPair(&t[k]));
    benchmark::DoNotOptimize(sum.total());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * t.size()));
}

void rounded(benchmark::State& state) {
  ExactSum sum;
  for (double p : terms(true)) sum.add(p);
  for (auto _ : state) benchmark::DoNotOptimize(sum.rounded());
}

void merge(benchmark::State& state) {
  ExactSum sum, other;
  for (double p : terms(true)) other.add(p);
  for (auto _ : state) {
    sum.merge(other);
    benchmark::DoNotOptimize(&sum);
  }
}

const bool registered = [] {
  for (const bool spread : {true, false}) {
    const std::string name = spread ? "spread" : "same";
    benchmark::RegisterBenchmark(("sumadd/plain/" + name).c_str(),
                                 [spread](benchmark::State& s) { plainSum(s, spread); });
    benchmark::RegisterBenchmark(("sumadd/exact/" + name).c_str(),
                                 [spread](benchmark::State& s) { exactSum(s, spread); });
    benchmark::RegisterBenchmark(("sumadd/exact2/" + name).c_str(),
                                 [spread](benchmark::State& s) { exactSumTwoLanes(s, spread); });
    benchmark::RegisterBenchmark(("sumadd/buffered/" + name).c_str(),
                                 [spread](benchmark::State& s) { bufferedSum(s, spread); });
  }
  benchmark::RegisterBenchmark("sumend/rounded", rounded);
  benchmark::RegisterBenchmark("sumend/merge", merge);
  return true;
}();

}  // namespace
}  // namespace rxc::bench
