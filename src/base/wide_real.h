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
// finite keeps it (and reads as that infinity or NaN). Inline, with the
// product below: the walks take one for every term they sum.
inline WideReal toWide(DoubleDouble value, int64_t exponent = 0) {
  DoubleDouble v = dd::twoSum(value.hi, value.lo);
  if (v.hi == 0.0) return {};
  auto biasedExponent = [](double x) {
    return static_cast<int>((std::bit_cast<uint64_t>(x) >> 52) & 0x7ff);
  };
  int biased = biasedExponent(v.hi);
  if (biased == 0x7ff) [[unlikely]]
    return {{v.hi, 0.0}, 0};
  if (biased == 0) [[unlikely]] {  // subnormal: bring it up first (exact)
    v = {v.hi * 0x1p64, v.lo * 0x1p64};
    exponent -= 64;
    biased = biasedExponent(v.hi);
  }
  const int k = biased - 1023;
  constexpr uint64_t kExponentBits = uint64_t{0x7ff} << 52;
  const uint64_t bits = std::bit_cast<uint64_t>(v.hi);
  const double hi = std::bit_cast<double>((bits & ~kExponentBits) | (uint64_t{1023} << 52));
  // lo * 2^-k is exact unless lo lies some 2^1000 below hi (then it is noise).
  return {{hi, v.lo * powerOfTwo(-k)}, exponent + k};
}
inline WideReal toWide(double value) { return toWide(DoubleDouble{value, 0.0}); }

inline bool isZero(const WideReal& value) { return value.mantissa.hi == 0.0; }

// value * 2^k, exactly.
inline WideReal timesPowerOfTwo(WideReal value, int64_t k) {
  if (!isZero(value)) value.exponent += k;
  return value;
}

// Products to double-double precision (within about 2^-102 relative).
inline WideReal operator*(const WideReal& a, const WideReal& b) {
  if (isZero(a) || isZero(b)) return {};
  return toWide(a.mantissa * b.mantissa, a.exponent + b.exponent);
}
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
