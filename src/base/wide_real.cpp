#include "base/wide_real.h"

#include <array>
#include <bit>
#include <cstdint>
#include <limits>

namespace rxc {
namespace {

constexpr uint64_t kExponentMask = uint64_t{0x7ff} << 52;
constexpr uint64_t kMantissaMask = (uint64_t{1} << 52) - 1;
constexpr uint64_t kSignBit = uint64_t{1} << 63;

int biasedExponent(double x) {
  return static_cast<int>((std::bit_cast<uint64_t>(x) >> 52) & 0x7ff);
}

// ln 2 = kLn2Hi + kLn2Mid + kLn2Lo to within 2^-140. kLn2Hi has 28 significant
// bits, so k * kLn2Hi is exact for |k| < 2^25.
constexpr double kLn2Hi = 0x1.62e42fep-1;
constexpr double kLn2Mid = 0x1.f473de6af278fp-30;
constexpr double kLn2Lo = -0x1.8cff81a12a17ep-85;
constexpr double kInvLn2 = 0x1.71547652b82fep+0;
// Below this |x| the reduction's k stays under 2^25.
constexpr double kReductionLimit = 0x1p24;

// 1/n! for n = 0..11, each the nearest double-double (hi, then the remainder
// rounded), from exact rational arithmetic.
constexpr std::array<DoubleDouble, 12> kInverseFactorial = {{
    {0x1p0, 0.0},
    {0x1p0, 0.0},
    {0x1p-1, 0.0},
    {0x1.5555555555555p-3, 0x1.5555555555555p-57},
    {0x1.5555555555555p-5, 0x1.5555555555555p-59},
    {0x1.1111111111111p-7, 0x1.1111111111111p-63},
    {0x1.6c16c16c16c17p-10, -0x1.f49f49f49f49fp-65},
    {0x1.a01a01a01a01ap-13, 0x1.a01a01a01a01ap-73},
    {0x1.a01a01a01a01ap-16, 0x1.a01a01a01a01ap-76},
    {0x1.71de3a556c734p-19, -0x1.c154f8ddc6c00p-73},
    {0x1.27e4fb7789f5cp-22, 0x1.cbbc05b4fa99ap-76},
    {0x1.ae64567f544e4p-26, -0x1.c062e06d1f209p-80},
}};

// e^r - 1 for |r| <= 0.35, slowly: the Taylor series to t^9/9! at t = r/256
// (the first term left out is below 2^-110 of the result), then eight
// doublings e^(2t) - 1 = s (s + 2), which keep the relative precision of a
// small s. Used to fill the table below.
DoubleDouble expMinusOneByDoubling(DoubleDouble r) {
  const DoubleDouble t{r.hi * 0x1p-8, r.lo * 0x1p-8};
  DoubleDouble p = kInverseFactorial[9];
  for (int n = 8; n >= 1; --n) p = p * t + kInverseFactorial[n];
  DoubleDouble s = p * t;
  for (int i = 0; i < 8; ++i) s = s * (s + 2.0);
  return s;
}

// e^(j/128) for j = -kTableReach..kTableReach, which covers |r| <= 0.35.
constexpr int kTableReach = 45;
using ExpTable = std::array<DoubleDouble, 2 * kTableReach + 1>;
const ExpTable& expTable() {
  static const ExpTable table = [] {
    ExpTable t;
    for (int j = -kTableReach; j <= kTableReach; ++j) {
      t[j + kTableReach] = expMinusOneByDoubling({j * 0x1p-7, 0.0}) + 1.0;
    }
    return t;
  }();
  return table;
}

// e^r for |r| <= 0.35: r = j/128 + s with |s| <= 1/256, e^r = e^(j/128)
// (1 + (e^s - 1)), e^s - 1 from its Taylor series to s^11/11! (the first
// term left out is below 2^-106 of it). Each Horner step adds a term far
// above the product before it, so the cheaper sum is safe.
DoubleDouble expOfReduced(DoubleDouble r) {
  const double j = (r.hi * 128.0 + 0x1.8p52) - 0x1.8p52;
  const DoubleDouble s = r - j * 0x1p-7;
  DoubleDouble p = kInverseFactorial[11];
  for (int n = 10; n >= 1; --n) p = sumWithoutCancellation(p * s, kInverseFactorial[n]);
  const DoubleDouble& e = expTable()[static_cast<int>(j) + kTableReach];
  return e + e * (p * s);
}

}  // namespace

WideReal operator*(const WideReal& a, DoubleDouble b) {
  if (isZero(a)) return {};
  const WideReal factor = toWide(b);  // keeps the product's operands in range
  if (isZero(factor)) return {};
  return toWide(a.mantissa * factor.mantissa, a.exponent + factor.exponent);
}

WideReal wideExp(DoubleDouble x) {
  if (!(x.hi < kReductionLimit && x.hi > -kReductionLimit)) {
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    if (x.hi != x.hi || x.hi == kInfinity) return {{x.hi, 0.0}, 0};
    if (x.hi == -kInfinity) return {};
    const WideReal half = wideExp(DoubleDouble{x.hi * 0.5, x.lo * 0.5});
    return half * half;
  }
  // x = k ln 2 + r with |r| <= ln2/2 (plus rounding), r to double-double
  // precision: k * kLn2Hi is exact, x.hi minus it exact by a two-sum, k *
  // kLn2Mid exact by a two-product.
  const double k = (x.hi * kInvLn2 + 0x1.8p52) - 0x1.8p52;
  DoubleDouble r = dd::twoSum(x.hi, -(k * kLn2Hi));
  r = r - dd::twoProduct(k, kLn2Mid);
  r = r - k * kLn2Lo;
  r = r + x.lo;
  return toWide(expOfReduced(r), static_cast<int64_t>(k));
}

double roundedToDouble(const WideReal& value) {
  const double hi = value.mantissa.hi;
  if (hi == 0.0 || biasedExponent(hi) == 0x7ff) return hi;
  const int64_t e = value.exponent;
  const uint64_t sign = std::bit_cast<uint64_t>(hi) & kSignBit;
  if (e > 1023) return std::bit_cast<double>(sign | kExponentMask);  // infinity
  // Normal range: hi is already the mantissa rounded (ties to even).
  if (e >= -1022) return hi * powerOfTwo(static_cast<int>(e));
  // Subnormal: keep the bits of the significand H = |hi| 2^52 above 2^-1074,
  // i.e. drop its lowest `drop` bits, and round on what they and lo say.
  const int64_t drop = -1022 - e;
  if (drop > 53) return std::bit_cast<double>(sign);  // below 2^-1075
  const uint64_t significand = (std::bit_cast<uint64_t>(hi) & kMantissaMask) | (uint64_t{1} << 52);
  uint64_t kept = significand >> drop;
  const uint64_t rest = significand & ((uint64_t{1} << drop) - 1);
  const uint64_t half = uint64_t{1} << (drop - 1);
  const double lo = value.mantissa.lo;
  // |lo| is at most half a unit of H, so lo matters only when rest is half.
  const bool beyondHalf = lo != 0.0 && ((lo > 0.0) == (hi > 0.0));
  const bool belowHalf = lo != 0.0 && !beyondHalf;
  if (rest > half || (rest == half && (beyondHalf || (!belowHalf && (kept & 1) != 0)))) ++kept;
  return std::bit_cast<double>(sign | kept);
}

}  // namespace rxc
