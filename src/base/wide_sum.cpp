#include "base/wide_sum.h"

#include <bit>
#include <cstdint>

namespace rxc {
namespace {

__extension__ using Uint128 = unsigned __int128;

// A 192-bit unsigned integer, for reading the sum.
struct Bits192 {
  Uint128 low;
  uint64_t high;
};

Bits192 shiftRight(Bits192 a, int64_t n) {
  if (n <= 0) return a;
  if (n >= 192) return {0, 0};
  if (n >= 128) return {static_cast<Uint128>(a.high >> (n - 128)), 0};
  return {(a.low >> n) | (static_cast<Uint128>(a.high) << (128 - n)), n >= 64 ? 0 : a.high >> n};
}

int bitLength(Bits192 a) {
  if (a.high != 0) return 192 - std::countl_zero(a.high);
  const uint64_t upper = static_cast<uint64_t>(a.low >> 64);
  if (upper != 0) return 128 - std::countl_zero(upper);
  return 64 - std::countl_zero(static_cast<uint64_t>(a.low));
}

// x (< 2^128, nonzero) rounded toward zero to 53 bits, as a double times
// 2^-scale (scale <= 1074 - 128, so the result stays normal for our uses).
double truncatedToDouble(Uint128 x, int scale) {
  const int length = bitLength({x, 0});
  const int shift = length > 53 ? length - 53 : 0;
  const uint64_t top = static_cast<uint64_t>(x >> shift);
  return static_cast<double>(top) * powerOfTwo(shift - scale);
}

}  // namespace

void WideSum::raiseTo(int64_t exponent) {
  if (!empty_) {
    const Bits192 shifted = shiftRight({low_, high_}, exponent - exponent_);
    low_ = shifted.low;
    high_ = shifted.high;
  }
  exponent_ = exponent;
  empty_ = false;
}

void WideSum::halve() {
  const Bits192 shifted = shiftRight({low_, high_}, 1);
  low_ = shifted.low;
  high_ = shifted.high;
  ++exponent_;
}

void WideSum::merge(const WideSum& other) {
  if (other.empty_) return;
  if (empty_ || other.exponent_ > exponent_) raiseTo(other.exponent_);
  const Bits192 shifted = shiftRight({other.low_, other.high_}, exponent_ - other.exponent_);
  addParts(shifted.low, shifted.high);
}

WideReal WideSum::value() const {
  const Bits192 a{low_, high_};
  const int length = bitLength(a);
  if (length == 0) return {};
  // A = H 2^cut + R, H of 53 bits (fewer when A is short: then R = 0).
  const int cut = length > 53 ? length - 53 : 0;
  uint64_t h = static_cast<uint64_t>(shiftRight(a, cut).low);
  if (cut == 0) {
    return toWide(DoubleDouble{static_cast<double>(h), 0.0}, exponent_ - kFractionBits);
  }
  // R < 2^cut <= 2^139: the top of the sum's low part is in low_'s bits only
  // when cut <= 128; past that R's top bits are in high_.
  const Bits192 r{cut >= 128 ? low_ : low_ & ((Uint128{1} << cut) - 1),
                  cut > 128 ? high_ & ((uint64_t{1} << (cut - 128)) - 1) : 0};
  const Bits192 half =
      cut > 128 ? Bits192{0, uint64_t{1} << (cut - 129)} : Bits192{Uint128{1} << (cut - 1), 0};
  const auto compare = [](Bits192 x, Bits192 y) {
    if (x.high != y.high) return x.high < y.high ? -1 : 1;
    return x.low == y.low ? 0 : (x.low < y.low ? -1 : 1);
  };
  const int side = compare(r, half);
  const bool up = side > 0 || (side == 0 && (h & 1) != 0);
  // The remainder after rounding, R or R - 2^cut, toward zero to 53 bits. Its
  // magnitude is below 2^cut; when that exceeds 2^128 only its top 128 bits
  // are kept, which still hold its 53 leading bits.
  const int drop = cut > 128 ? cut - 128 : 0;
  Bits192 magnitude = r;
  if (up) {
    ++h;
    // 2^cut - R
    const Bits192 full =
        cut >= 128 ? Bits192{0, uint64_t{1} << (cut - 128)} : Bits192{Uint128{1} << cut, 0};
    magnitude.low = full.low - r.low;
    magnitude.high = full.high - r.high - (full.low < r.low ? 1 : 0);
  }
  const Uint128 kept = shiftRight(magnitude, drop).low;
  double lo = kept == 0 ? 0.0 : truncatedToDouble(kept, 52 + cut - drop);
  if (up) lo = -lo;
  // H 2^cut in A's units is hi = H 2^-52 at exponent E - 150 + cut + 52.
  return toWide(DoubleDouble{static_cast<double>(h) * 0x1p-52, lo},
                exponent_ - kFractionBits + cut + 52);
}

double WideSum::rounded() const { return roundedToDouble(value()); }

}  // namespace rxc
