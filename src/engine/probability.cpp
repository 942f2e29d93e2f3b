#include "engine/probability.h"

namespace rxc {

LogFactorialTable::LogFactorialTable() : values_(kCapacity, 0.0) {
  values_[0] = 0.0;
  filled_ = 0;
  extendTo(kFirstFill);
}

void LogFactorialTable::extendTo(int last) {
  if (last >= kCapacity) last = kCapacity - 1;
  for (int k = filled_ + 1; k <= last; ++k) {
    // ln(k) first, then the previous entry: every entry's rounding depends on
    // all the earlier ones, and the order is part of the result's last bits.
    values_[k] = std::log(static_cast<double>(k)) + values_[k - 1];
  }
  if (last > filled_) filled_ = last;
}

double computeLogMarginConst(const LogFactorialTable& logFactorial,
                             const std::vector<int16_t>& rowMargin,
                             const std::vector<int16_t>& colMargin, int32_t n) {
  double sum = 0.0;
  for (size_t i = 1; i < rowMargin.size(); ++i) sum += logFactorial[rowMargin[i]];
  for (size_t j = 1; j < colMargin.size(); ++j) sum += logFactorial[colMargin[j]];
  return sum - logFactorial[n];
}

double observedTableLogProb(const LogFactorialTable& logFactorial, double logMarginConst,
                            const int16_t* cells, int r, int c) {
  double sum = 0.0;
  for (int k = 0; k < r * c; ++k) sum += logFactorial[cells[k]];
  return logMarginConst - sum;
}

}  // namespace rxc
