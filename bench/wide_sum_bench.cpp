// The wide arithmetic of exact sums of probabilities, per call:
//   wide/exp                 wideExp of 4096 double-double log-probabilities
//                            in [-700, 0] (items_per_second: calls)
//   wide/exp_far             the same in [-400000, -1000], far below the
//                            double range
//   wide/sumadd/spread       WideSum::add of 65536 terms over 40 binary orders
//                            in random order (items_per_second: additions)
//   wide/sumadd/rising       the same terms, each one binary order above the
//                            last: every term raises the running exponent
//                            (the worst case)
//   wide/sumend/value        reading the sum as a WideReal, once
//   wide/logfactorials/20000 one WideLogFactorials(20000), entries 0..20000
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "base/double_double.h"
#include "base/wide_log_factorial.h"
#include "base/wide_real.h"
#include "base/wide_sum.h"

namespace rxc::bench {
namespace {

std::vector<DoubleDouble> arguments(double low, double high) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> x(low, high);
  std::uniform_real_distribution<double> fraction(-0x1p-60, 0x1p-60);
  std::vector<DoubleDouble> out(4096);
  for (DoubleDouble& a : out) {
    const double hi = x(rng);
    a = dd::twoSum(hi, hi * fraction(rng));
  }
  return out;
}

void expCalls(benchmark::State& state, double low, double high) {
  const std::vector<DoubleDouble> xs = arguments(low, high);
  for (auto _ : state) {
    for (const DoubleDouble& x : xs) benchmark::DoNotOptimize(wideExp(x));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * xs.size()));
}

std::vector<WideReal> terms(bool rising) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> unit(1.0, 2.0);
  std::uniform_real_distribution<double> half(-0.5, 0.5);
  std::vector<WideReal> out(65536);
  for (WideReal& t : out) {
    const double hi = unit(rng);
    t = toWide({hi, half(rng) * 0x1p-52}, -static_cast<int64_t>(rng() % 40));
  }
  // Rising: one exponent step per term, so each term raises the sum's.
  if (rising) {
    for (std::size_t i = 0; i < out.size(); ++i) out[i].exponent = static_cast<int64_t>(i);
  }
  return out;
}

void sumAdd(benchmark::State& state, bool rising) {
  const std::vector<WideReal> t = terms(rising);
  for (auto _ : state) {
    WideSum sum;
    for (const WideReal& term : t) sum.add(term);
    benchmark::DoNotOptimize(&sum);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * t.size()));
}

void sumValue(benchmark::State& state) {
  WideSum sum;
  for (const WideReal& term : terms(false)) sum.add(term);
  for (auto _ : state) benchmark::DoNotOptimize(sum.value());
}

void logFactorials(benchmark::State& state) {
  for (auto _ : state) {
    WideLogFactorials table(20000);
    benchmark::DoNotOptimize(table[20000]);
  }
}

const bool registered = [] {
  benchmark::RegisterBenchmark("wide/exp", [](benchmark::State& s) { expCalls(s, -700.0, 0.0); });
  benchmark::RegisterBenchmark("wide/exp_far",
                               [](benchmark::State& s) { expCalls(s, -400000.0, -1000.0); });
  benchmark::RegisterBenchmark("wide/sumadd/spread", [](benchmark::State& s) { sumAdd(s, false); });
  benchmark::RegisterBenchmark("wide/sumadd/rising", [](benchmark::State& s) { sumAdd(s, true); });
  benchmark::RegisterBenchmark("wide/sumend/value", sumValue);
  benchmark::RegisterBenchmark("wide/logfactorials/20000", logFactorials)
      ->Unit(benchmark::kMillisecond);
  return true;
}();

}  // namespace
}  // namespace rxc::bench
