// Numbers of any size to double-double precision: a double-double mantissa
// and a 64-bit binary exponent, so that neither the probability of one table
// (down to e^-400000 and below) nor products and exponentials of such values
// over- or underflow. Every operation here is built from double-double
// arithmetic and integer operations on the bits, with no call into the
// mathematical library, so results have the same bits on every machine.
#pragma once

#include <bit>
#include <cstdint>

#include "base/double_double.h"

namespace rxc {

// The value (mantissa.hi + mantissa.lo) * 2^exponent. Normalised: either the
// value 0 (all fields zero) or 1 <= |mantissa.hi| < 2, with mantissa.hi the
// mantissa rounded to a double (|lo| <= ulp(hi)/2). Negative values are
// allowed; sums of probabilities never are.
struct WideReal {
  DoubleDouble mantissa;
  int64_t exponent = 0;
};

// 2^k as a double, for -1074 <= k <= 1023 (subnormal below -1022).
inline double powerOfTwo(int k) {
  if (k >= -1022) return std::bit_cast<double>(static_cast<uint64_t>(k + 1023) << 52);
  return std::bit_cast<double>(uint64_t{1} << (k + 1074));
}

// (value.hi + value.lo) * 2^exponent, normalised. A value whose hi is not
// finite keeps it (and reads as that infinity or NaN).
WideReal toWide(DoubleDouble value, int64_t exponent = 0);
inline WideReal toWide(double value) { return toWide(DoubleDouble{value, 0.0}); }

inline bool isZero(const WideReal& value) { return value.mantissa.hi == 0.0; }

// value * 2^k, exactly.
inline WideReal timesPowerOfTwo(WideReal value, int64_t k) {
  if (!isZero(value)) value.exponent += k;
  return value;
}

// Products to double-double precision (within about 2^-102 relative).
WideReal operator*(const WideReal& a, const WideReal& b);
WideReal operator*(const WideReal& a, DoubleDouble b);

// e^x, within 1e-30 relative of e^(x.hi + x.lo), for any finite x (beyond
// |x| = 2^24, through squaring: the error grows by about 2^-104 for each
// doubling). +infinity gives +infinity, -infinity gives 0.
WideReal wideExp(DoubleDouble x);

// The double nearest to the exact value of `value`, ties to even: subnormal
// results included, +-0 below half the least subnormal, +-infinity from
// 2^1024 - 2^970 up (IEEE's overflow threshold).
double roundedToDouble(const WideReal& value);

}  // namespace rxc
