// The problems every benchmark runs on, named as the benchmarks report them
// (count/3x3_m60, expsum/2x10, ...), with a ready EnumerationInput.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/enumeration.h"
#include "engine/probability.h"

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

// A case made ready for a pass: the log-factorial table as far as the run
// needs it, the margin constant and the input that points into them.
class BenchProblem {
 public:
  explicit BenchProblem(const BenchCase& c) {
    input_.r = static_cast<int>(c.rows.size());
    input_.c = static_cast<int>(c.cols.size());
    input_.rowMargin = c.rows;
    input_.colMargin = c.cols;
    for (int16_t m : c.rows) input_.n += m;
    logFactorial_.extendTo(input_.n + std::min(input_.r, input_.c) - 2);
    std::vector<int16_t> rows1{0}, cols1{0};  // 1-based for the constant
    rows1.insert(rows1.end(), c.rows.begin(), c.rows.end());
    cols1.insert(cols1.end(), c.cols.begin(), c.cols.end());
    input_.logFactorial = logFactorial_.data();
    input_.logMarginConst = computeLogMarginConst(logFactorial_, rows1, cols1, input_.n);
  }
  BenchProblem(const BenchProblem&) = delete;
  BenchProblem& operator=(const BenchProblem&) = delete;

  const EnumerationInput& input() const { return input_; }
  const LogFactorialTable& logFactorial() const { return logFactorial_; }

 private:
  LogFactorialTable logFactorial_;
  EnumerationInput input_;
};

}  // namespace rxc::bench
