// exp() for the per-table work. The library's exp is an out-of-line call (and,
// on some processors, a variant built with fused multiply-adds, whose results
// differ in the last bit from the plain one). This one inlines into the
// enumeration, uses separately rounded operations only, and so gives the same
// bits on every machine and build.
//
// Method: x = k ln2/128 + r with |r| <= ln2/256; exp(x) = 2^(k/128) exp(r),
// where 2^(j/128) = H[j] (1 + T[j]) comes from a table and exp(r) - 1 from a
// degree-5 polynomial. The result is within 0.511 units in the last place.
//
// Credit: the method, the 2^(j/128) table (kExpTable), the reduction and
// polynomial constants and the handling of results near and below the
// smallest normal number follow the exp() of Arm's optimized-routines
// (https://github.com/ARM-software/optimized-routines, math/exp.c and
// math/exp_data.c), which the GNU C library also uses. The code here is this
// project's own writing; the table and constants are that project's values,
// used under its MIT licence:
//
//   Copyright (c) 2018, Arm Limited.
//   SPDX-License-Identifier: MIT
//
//   Permission is hereby granted, free of charge, to any person obtaining a
//   copy of this software and associated documentation files (the
//   "Software"), to deal in the Software without restriction, including
//   without limitation the rights to use, copy, modify, merge, publish,
//   distribute, sublicense, and/or sell copies of the Software, and to permit
//   persons to whom the Software is furnished to do so, subject to the
//   following conditions:
//
//   The above copyright notice and this permission notice shall be included
//   in all copies or substantial portions of the Software.
//
//   THE SOFTWARE IS PROVIDED "AS IS", WITHOUT WARRANTY OF ANY KIND, EXPRESS
//   OR IMPLIED, INCLUDING BUT NOT LIMITED TO THE WARRANTIES OF
//   MERCHANTABILITY, FITNESS FOR A PARTICULAR PURPOSE AND NONINFRINGEMENT. IN
//   NO EVENT SHALL THE AUTHORS OR COPYRIGHT HOLDERS BE LIABLE FOR ANY CLAIM,
//   DAMAGES OR OTHER LIABILITY, WHETHER IN AN ACTION OF CONTRACT, TORT OR
//   OTHERWISE, ARISING FROM, OUT OF OR IN CONNECTION WITH THE SOFTWARE OR THE
//   USE OR OTHER DEALINGS IN THE SOFTWARE.
#pragma once

#include <bit>
#include <cstdint>
#include <type_traits>

#include "base/double_pair.h"

namespace rxc {

// Pairs (bits of T[j], bits of H[j] - (j << 45)) for j = 0..127: H[j] is
// 2^(j/128) rounded to the nearest double, T[j] is 2^(j/128)/H[j] - 1 rounded
// to the nearest double.
extern const uint64_t kExpTable[256];

namespace fast_exp_detail {

// exp(x) when 2^(k/128) alone would leave the normal range: the scale is
// formed with a shifted exponent, then brought back. Below 2^-1022 the sum is
// rounded once to the subnormal precision before the final scaling, to avoid
// a double rounding.
[[gnu::cold]] double scaledResult(double tmp, uint64_t scaleBits, uint64_t k);

// exp(x) for |x| < 2^-54, |x| >= 1024, infinities and NaN.
[[gnu::cold]] double outsideRange(double x);

}  // namespace fast_exp_detail

namespace fast_exp_detail {
inline constexpr double kInvLn2N = 0x1.71547652b82fep0 * 128;
inline constexpr double kNegLn2HiN = -0x1.62e42fefa0000p-8;  // low bits zero: kd * hi is exact
inline constexpr double kNegLn2LoN = -0x1.cf79abc9e3b3ap-47;
inline constexpr double kShift = 0x1.8p52;  // adding it rounds to an integer
inline constexpr double kC2 = 0x1.ffffffffffdbdp-2;
inline constexpr double kC3 = 0x1.555555555543cp-3;
inline constexpr double kC4 = 0x1.55555cf172b91p-5;
inline constexpr double kC5 = 0x1.1111167a4d017p-7;
// Biased exponents of 2^-54 and 512.
inline constexpr uint32_t kTopTiny = 0x3c9;
inline constexpr uint32_t kTop512 = 0x408;
}  // namespace fast_exp_detail

namespace fast_exp_detail {

// The table entries for index 2j: T[j] and the bits of H[j] without 2^(j/128)'s
// exponent, for one argument or for both lanes.
template <class Value, class Bits>
struct Entries {
  Value tail;
  Bits scaleBase;
};
inline Entries<double, uint64_t> entries(uint64_t index) {
  return {std::bit_cast<double>(kExpTable[index]), kExpTable[index + 1]};
}
// Both entries of a lane are side by side: one 16-byte read per lane, then
// regrouped by entry.
inline Entries<DoublePair, BitsPair> entries(BitsPair index) {
  BitsPair first, second;
  __builtin_memcpy(&first, &kExpTable[index[0]], sizeof first);
  __builtin_memcpy(&second, &kExpTable[index[1]], sizeof second);
  return {std::bit_cast<DoublePair>(__builtin_shufflevector(first, second, 0, 2)),
          __builtin_shufflevector(first, second, 1, 3)};
}

// The constants above, each in both lanes. Defined out of line, so that the
// compiler reads each as one 16-byte operand instead of rebuilding it from
// the scalar at every use (two instructions each with SSE2 alone).
struct ConstantPairs {
  DoublePair invLn2N, shift, negLn2HiN, negLn2LoN, c2, c3, c4, c5;
  DoublePair limit;  // 512: the inline path takes magnitudes below it
  BitsPair magnitudeMask;
};
extern const ConstantPairs kConstantPairs;

// The constant for a double, or its pair for a DoublePair.
template <class Value>
inline Value constant(double scalar, const DoublePair& pair) {
  if constexpr (std::is_same_v<Value, double>) {
    return scalar;
  } else {
    return pair;
  }
}

// exp(x) = scale (1 + tmp), with k the rounded x 128/ln2 (in its low bits).
template <class Value, class Bits>
struct Parts {
  Value tmp;
  Bits scaleBits;
  Bits k;
};

// The reduction and the polynomial, the same operations for a double and for
// each lane of a DoublePair.
template <class Value, class Bits>
inline Parts<Value, Bits> parts(Value x) {
  const ConstantPairs& p = kConstantPairs;
  const Value z = constant<Value>(kInvLn2N, p.invLn2N) * x;
  const Value shift = constant<Value>(kShift, p.shift);
  Value kd = z + shift;
  const Bits k = std::bit_cast<Bits>(kd);
  kd -= shift;
  const Value r = x + kd * constant<Value>(kNegLn2HiN, p.negLn2HiN) +
                  kd * constant<Value>(kNegLn2LoN, p.negLn2LoN);
  const Bits index = 2 * (k % 128);
  const Value r2 = r * r;
  const auto e = entries(index);
  const Value tmp = e.tail + r +
                    r2 * (constant<Value>(kC2, p.c2) + r * constant<Value>(kC3, p.c3)) +
                    r2 * r2 * (constant<Value>(kC4, p.c4) + r * constant<Value>(kC5, p.c5));
  return {tmp, e.scaleBase + (k << 45), k};
}

}  // namespace fast_exp_detail

inline double fastExp(double x) {
  using namespace fast_exp_detail;
  const uint32_t top = static_cast<uint32_t>(std::bit_cast<uint64_t>(x) >> 52) & 0x7ff;
  if (top - kTopTiny >= kTop512 - kTopTiny) [[unlikely]] {
    if (top < kTopTiny || top >= 0x409) return outsideRange(x);
    // 512 <= |x| < 1024
    const auto p = parts<double, uint64_t>(x);
    return scaledResult(p.tmp, p.scaleBits, p.k);
  }
  const auto p = parts<double, uint64_t>(x);
  const double scale = std::bit_cast<double>(p.scaleBits);
  return scale + scale * p.tmp;
}

// Both lanes at once, each with the operations of fastExp(double) above, so
// each lane has the bits that fastExp gives it alone.
inline DoublePair fastExp(DoublePair x) {
  using namespace fast_exp_detail;
  const ConstantPairs& c = kConstantPairs;
  const BitsPair bits = std::bit_cast<BitsPair>(x);
  const DoublePair magnitude = std::bit_cast<DoublePair>(bits & c.magnitudeMask);
  // Below 2^-54 the polynomial path gives 1.0 exactly, as the scalar form's
  // own branch does, so only the upper end needs testing.
  const auto inRange = magnitude < c.limit;  // NaN: false
  if (laneBits(inRange) != 3) [[unlikely]] {
    return DoublePair{fastExp(x[0]), fastExp(x[1])};
  }
  const auto p = parts<DoublePair, BitsPair>(x);
  const DoublePair scale = std::bit_cast<DoublePair>(p.scaleBits);
  return scale + scale * p.tmp;
}

}  // namespace rxc
