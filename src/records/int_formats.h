// Integer edit patterns chosen by a computed width, and the digit counts that
// choose them.
#pragma once

#include <cstdint>
#include <string>

namespace rxc {

// "(Iw\)": one integer right-justified in exactly w columns, record left open.
inline std::string intFormat(int width) { return "(I" + std::to_string(width) + "\\)"; }

// Number of decimal digits of a positive integer.
inline int decimalDigits(int64_t value) {
  int digits = 1;
  while (value >= 10) {
    value /= 10;
    ++digits;
  }
  return digits;
}

}  // namespace rxc
