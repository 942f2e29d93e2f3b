// Table probability under independence with both sets of marginals fixed: the
// multivariate hypergeometric law, worked in natural logarithms. No factorial
// is ever formed; ln(k!) comes from a table filled by an exact running sum.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace rxc {

// ln(k!) by index. The table covers every index that is filled or read:
// N + ShortSide - 2 reaches 20000 + 100 - 2.
class LogFactorialTable {
 public:
  static constexpr int kFirstFill = 1000;
  static constexpr int kCapacity = 20000 + 100 - 1;  // indices 0..20099

  LogFactorialTable();  // entries 0..1000

  // Extends the running sum up to `last` (nothing when last <= filled()).
  void extendTo(int last);

  double operator[](int k) const { return values_[k]; }
  const double* data() const { return values_.data(); }
  int filled() const { return filled_; }

 private:
  std::vector<double> values_;
  int filled_ = 0;
};

// 1000 x the double-precision machine epsilon.
inline constexpr double kRelTol = 1000.0 * 2.220446049250313e-16;
// Below this a probability is written as 0 with its logarithm beside it.
inline const double kTiny = std::pow(10.0, -305.0);

// Sum of ln(r_i!) over the rows, plus the same over the columns, minus ln(N!),
// in that order. Margins are 1-based (index 0 unused).
double computeLogMarginConst(const LogFactorialTable& logFactorial,
                             const std::vector<int16_t>& rowMargin,
                             const std::vector<int16_t>& colMargin, int32_t n);

// Log-probability of a typed table (cells row-major, r x c): the constant minus
// the sum of ln(x!) over the cells, rows outer, columns inner.
double observedTableLogProb(const LogFactorialTable& logFactorial, double logMarginConst,
                            const int16_t* cells, int r, int c);

// The tolerance band of a log-probability v: [v - |v| RelTol, v + |v| RelTol].
struct LogBand {
  double low;
  double high;
};
inline LogBand toleranceBand(double v) {
  const double spread = std::fabs(v) * kRelTol;
  return {v - spread, v + spread};
}

// Three-way comparison of a newcomer (band of its own) against a stored value.
enum class Relation { kLess, kTie, kGreater };
inline Relation compareWithBand(LogBand newcomer, double stored) {
  if (newcomer.low > stored) return Relation::kGreater;
  if (newcomer.high < stored) return Relation::kLess;
  return Relation::kTie;
}

}  // namespace rxc
