#include "base/log_factorial.h"

#include <cmath>

namespace rxc {

LogFactorialTable::LogFactorialTable() : values_(kCapacity, 0.0) { extendTo(kFirstFill); }

void LogFactorialTable::extendTo(int last) {
  if (last >= kCapacity) last = kCapacity - 1;
  for (int k = filled_ + 1; k <= last; ++k) {
    // ln(k) first, then the previous entry: the order is part of the result's
    // last bits.
    values_[k] = std::log(static_cast<double>(k)) + values_[k - 1];
  }
  if (last > filled_) filled_ = last;
}

}  // namespace rxc
