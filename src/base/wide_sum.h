// A sum of non-negative WideReals to about 2^-109 relative, for any number of
// terms up to 2^40 and any spread of their sizes.
//
// Representation: a 192-bit integer A and a running binary exponent E, the
// sum being A * 2^(E - 150). E is the largest exponent of the terms so far, so
// every term is below 2^(E + 1) and 2^40 of them stay below 2^(E + 41), inside
// A's 42 bits above 2^E; a larger term first shifts A right (exactly but for
// the bits that fall off its bottom) and raises E. A term enters as the
// integer round-toward-zero((hi + lo) 2^115), shifted to A's unit, so each
// addition loses less than one unit 2^(E - 150) plus 2^-115 of the term. Over
// n terms that is below n 2^-150 + 2^-115 of the sum, since the sum is at
// least 2^E: 2^-109 for 2^40 terms. A term 2^-60 of the sum keeps 90 bits; only
// terms more than 152 binary orders below the largest vanish, each below one
// unit, all within the bound above. The result depends on the order of the
// additions and merges only through those truncations, so only within that
// bound.
#pragma once

#include <bit>
#include <cstdint>

#include "base/wide_real.h"

namespace rxc {

class WideSum {
 public:
  // term >= 0, normalised (as WideReal's functions give it).
  void add(const WideReal& term) {
    const double hi = term.mantissa.hi;
    if (hi == 0.0) return;
    if (term.exponent > exponent_ || empty_) [[unlikely]] {
      raiseTo(term.exponent);
    }
    const int64_t shift = kTermShift - (exponent_ - term.exponent);
    // (hi + lo) 2^115: hi's 53-bit significand at bit 63, lo (|lo| <= 2^-53)
    // added as a signed integer below it.
    const uint64_t significand = (std::bit_cast<uint64_t>(hi) & kMantissaMask) | kHiddenBit;
    const int64_t low = static_cast<int64_t>(term.mantissa.lo * 0x1p115);
    const Uint128 m = (static_cast<Uint128>(significand) << 63) + static_cast<Uint128>(low);
    Uint128 part;
    uint64_t top = 0;
    if (shift >= 0) {
      part = m << shift;
      if (shift > 0) top = static_cast<uint64_t>(m >> (128 - shift));
    } else if (shift > -128) {
      part = m >> -shift;
    } else {
      return;
    }
    addParts(part, top);
  }

  // Adds another sum's terms.
  void merge(const WideSum& other);

  // The sum, its mantissa rounded to nearest (ties to even) and its low part
  // toward zero, so that rounding the value to a double rounds the sum itself.
  WideReal value() const;

  // The double nearest to the sum, ties to even (subnormals, 0 below half the
  // least subnormal, +infinity past the largest double).
  double rounded() const;

  bool empty() const { return empty_; }

 private:
  __extension__ using Uint128 = unsigned __int128;
  static constexpr uint64_t kMantissaMask = (uint64_t{1} << 52) - 1;
  static constexpr uint64_t kHiddenBit = uint64_t{1} << 52;
  static constexpr int kFractionBits = 150;  // A's unit is 2^(E - 150)
  static constexpr int kTermShift = kFractionBits - 115;

  void addParts(Uint128 low, uint64_t high) {
    low_ += low;
    high_ += high + (low_ < low ? 1 : 0);
    if (high_ >> 63) [[unlikely]] {
      halve();
    }
  }

  // E becomes `exponent` (> E, or the first term's).
  [[gnu::noinline]] void raiseTo(int64_t exponent);
  // A past 2^191 (more terms than the bound counts on): one bit more room.
  [[gnu::cold, gnu::noinline]] void halve();

  Uint128 low_ = 0;    // A's low 128 bits
  uint64_t high_ = 0;  // A's top 64 bits
  int64_t exponent_ = 0;
  bool empty_ = true;
};

}  // namespace rxc
