#include "base/wide_log_factorial.h"

#include <array>
#include <bit>
#include <cstdint>

namespace rxc {
namespace {

__extension__ using Uint128 = unsigned __int128;

// whole + fraction / 2^128.
struct Fixed {
  uint64_t whole = 0;
  Uint128 fraction = 0;
};

void addTo(Fixed& sum, const Fixed& term) {
  sum.fraction += term.fraction;
  sum.whole += term.whole + (sum.fraction < term.fraction ? 1 : 0);
}

// |x| 2^128 rounded to nearest (ties up), for |x| < 1.
Uint128 scaledMagnitude(double x) {
  const uint64_t bits = std::bit_cast<uint64_t>(x);
  const int biased = static_cast<int>((bits >> 52) & 0x7ff);
  if (biased == 0) return 0;  // below 2^-1022: nothing at 2^-128
  const uint64_t significand = (bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);
  // x = significand 2^(biased - 1075), so x 2^128 = significand 2^(biased - 947).
  const int shift = biased - 947;
  if (shift >= 0) return static_cast<Uint128>(significand) << shift;
  if (shift < -54) return 0;
  return (static_cast<Uint128>(significand) + (Uint128{1} << (-shift - 1))) >> -shift;
}

// A value in (0, 1) as a fixed-point number, to within 2^-128.
Fixed toFixed(DoubleDouble x) {
  const Uint128 lo = scaledMagnitude(x.lo);
  const Uint128 hi = scaledMagnitude(x.hi);
  return {0, x.lo < 0.0 ? hi - lo : hi + lo};
}

// The fixed-point value as a double-double: the whole part and the fraction's
// first 53 and next 53 bits are each exact doubles.
DoubleDouble toDoubleDouble(const Fixed& x) {
  const double first = static_cast<double>(static_cast<uint64_t>(x.fraction >> 75)) * 0x1p-53;
  const uint64_t next = static_cast<uint64_t>(x.fraction >> 22) & ((uint64_t{1} << 53) - 1);
  return dd::twoSum(static_cast<double>(x.whole), first) + static_cast<double>(next) * 0x1p-106;
}

// 1 / (2j + 1), j = 0..kTerms - 1: the coefficients of atanh(z) / z in z^2.
constexpr int kTerms = 57;
std::array<DoubleDouble, kTerms> oddReciprocals() {
  std::array<DoubleDouble, kTerms> out;
  for (int j = 0; j < kTerms; ++j) out[j] = DoubleDouble{1.0, 0.0} / (2.0 * j + 1.0);
  return out;
}

// ln(k / (k - 1)) = 2 atanh(z), z = 1 / (2k - 1), for k >= 2. With 2^b <=
// 2k - 1, z^2 <= 2^-2b, so n terms of the series in z^2 leave out less than
// 2^-2bn of the sum: n = ceil(56 / b) gives 2^-112.
DoubleDouble logRatio(int k, const std::array<DoubleDouble, kTerms>& c) {
  const uint32_t odd = 2 * static_cast<uint32_t>(k) - 1;
  const int b = 31 - std::countl_zero(odd);
  const int terms = (56 + b - 1) / b;
  const DoubleDouble z = DoubleDouble{1.0, 0.0} / static_cast<double>(odd);
  const DoubleDouble z2 = z * z;
  DoubleDouble p = c[terms - 1];
  for (int j = terms - 2; j >= 0; --j) p = p * z2 + c[j];
  const DoubleDouble half = z * p;
  return {2.0 * half.hi, 2.0 * half.lo};
}

}  // namespace

WideLogFactorials::WideLogFactorials(int maxK) : values_(maxK < 0 ? 1 : maxK + 1) {
  static const std::array<DoubleDouble, kTerms> coefficients = oddReciprocals();
  Fixed logK;       // ln k
  Fixed logFactor;  // ln k!
  for (int k = 2; k < static_cast<int>(values_.size()); ++k) {
    addTo(logK, toFixed(logRatio(k, coefficients)));
    addTo(logFactor, logK);
    values_[k] = toDoubleDouble(logFactor);
  }
}

}  // namespace rxc
