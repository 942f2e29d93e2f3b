// The digit counts that choose the width of an integer field.
#pragma once

#include <cmath>
#include <cstdint>

namespace rxc {

// Number of decimal digits of a positive integer.
inline int decimalDigits(int64_t value) {
  int digits = 1;
  while (value >= 10) {
    value /= 10;
    ++digits;
  }
  return digits;
}

// CountWidth: for a positive count, the integer part of log10(count) + 2, the
// number of its digits plus one, so that the field always has exactly one
// blank before the first digit. Counts held as 8-byte reals go through the
// logarithm as they always have.
inline int countWidth(double count) {
  return static_cast<int>(std::trunc(std::log10(count) + 2.0));
}

}  // namespace rxc
