// A sum of non-negative wide terms (wide_real.h) kept as a double-double
// times a power of two: the network walk's sum of one subtree's
// probabilities, a few dozen terms a node.
//
// Each addition rounds within a few units of 2^-106 of the sum, since no
// term is negative; the walk's depth compounds that to far less than the
// digits printed. A term more than 2^-200 below the sum (by their exponents)
// is left out, and the sum is when the term is as far above it. The mantissa
// is normalised only when an addition takes it to 2^40, not after every one,
// which with the double-double arithmetic makes this cheaper than WideSum
// (wide_sum.h) for the walk's short sums.
#pragma once

#include <cstdint>

#include "base/double_double.h"
#include "base/wide_real.h"

namespace rxc {

class TermSum {
 public:
  // term >= 0 and finite, normalised or not. A first term, or one that
  // replaces the sum, is kept as it comes: the next addition brings the sum
  // back to scale.
  void add(const WideReal& term) {
    if (isZero(term)) return;
    if (isZero(sum_)) {
      sum_ = term;
      return;
    }
    int64_t gap = term.exponent - sum_.exponent;
    if (gap > 0) {  // the sum moves to the term's scale
      if (gap > kFar) {
        sum_ = term;
        return;
      }
      const double scale = powerOfTwo(static_cast<int>(-gap));
      sum_.mantissa = {sum_.mantissa.hi * scale, sum_.mantissa.lo * scale};
      sum_.exponent = term.exponent;
      gap = 0;
    }
    if (gap < -kFar) return;
    const double scale = powerOfTwo(static_cast<int>(gap));
    sum_.mantissa = sumWithoutCancellation(
        sum_.mantissa, DoubleDouble{term.mantissa.hi * scale, term.mantissa.lo * scale});
    // Back to scale now and then, so that the mantissa stays far from
    // overflow.
    if (sum_.mantissa.hi >= 0x1p40) [[unlikely]]
      sum_ = toWide(sum_.mantissa, sum_.exponent);
  }
  // a * b, a and b >= 0 and finite, normalised or not (as raw() gives
  // them): their product is added as it comes, not normalised first.
  void addProduct(const WideReal& a, const WideReal& b) {
    if (isZero(a) || isZero(b)) return;
    add(WideReal{a.mantissa * b.mantissa, a.exponent + b.exponent});
  }
  // The sum as kept, its mantissa not normalised (below 2^40 after an
  // addition); normalised after settle().
  const WideReal& raw() const { return sum_; }
  // Normalised, as WideReal's functions take it.
  WideReal value() const { return toWide(sum_.mantissa, sum_.exponent); }
  // Keeps the sum normalised, so that later reads cost nothing.
  void settle() { sum_ = value(); }

 private:
  static constexpr int64_t kFar = 200;
  WideReal sum_{};
};

}  // namespace rxc
