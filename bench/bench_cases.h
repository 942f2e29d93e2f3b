// The problems every benchmark runs on, named as the benchmarks report them
// (count/3x3_m60, expsum/2x10, ...).
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/problem/problem.h"
#include "system/processors.h"

namespace rxc::bench {

struct BenchCase {
  std::string name;
  std::vector<int16_t> rows;
  std::vector<int16_t> cols;
};

inline const std::vector<BenchCase>& benchCases() {
  static const std::vector<BenchCase> cases = {
      {"3x3_m60", {60, 60, 60}, {60, 60, 60}},
      {"4x4_m12", {12, 12, 12, 12}, {12, 12, 12, 12}},
      {"2x10", {25, 25}, std::vector<int16_t>(10, 5)},
      {"10x2", std::vector<int16_t>(10, 5), {25, 25}},
      {"5x5_m6", std::vector<int16_t>(5, 6), std::vector<int16_t>(5, 6)},
      {"3x6", {20, 20, 20}, std::vector<int16_t>(6, 10)},
  };
  return cases;
}

// Option A also runs on larger cases, where the bounded enumeration matters:
// 5 x 5 with every marginal 10 (79,315,936,751 tables; its full pass takes
// minutes) and 4 x 4 with every marginal 20.
inline const std::vector<BenchCase>& optionACases() {
  static const std::vector<BenchCase> cases = [] {
    std::vector<BenchCase> all = benchCases();
    all.push_back({"5x5_m10", std::vector<int16_t>(5, 10), std::vector<int16_t>(5, 10)});
    all.push_back({"4x4_m20", std::vector<int16_t>(4, 20), std::vector<int16_t>(4, 20)});
    return all;
  }();
  return cases;
}

// 1 and every processor the process may run on (when more than one): the
// worker counts the passes are measured with.
inline std::vector<int> workerCounts() {
  const int all = availableProcessors();
  return all > 1 ? std::vector<int>{1, all} : std::vector<int>{1};
}

// A case made ready for a pass.
inline Problem problemOf(const BenchCase& c) { return makeProblem(c.rows, c.cols); }

}  // namespace rxc::bench
