// Double-double arithmetic: a value held as the unevaluated sum hi + lo of two
// doubles, about 106 significant bits. Built from separately rounded IEEE
// additions and products (no long double), so every result has the same bits
// on every machine and build. The products are split by Veltkamp's method and
// multiplied by Dekker's; that is exact only when no product is contracted
// into a fused multiply-add, which the build forbids (-ffp-contract=off), and
// when doubles are evaluated as doubles (checked below). On a processor with
// fused multiply-add the error of a product is taken from one fused operation
// instead, at a tenth of the work: where Dekker's method is exact (no under-
// or overflow, which every product here must avoid anyway), the fused one is
// too, so both give the same error, to the bit.
//
// Each operation is within a few units of u^2 (u = 2^-53, so about 2^-104)
// of the exact result for its operands: at most 3u^2 for a sum, 7u^2 for a
// product of two double-doubles (the lo * lo term is left out). Splitting
// needs |a| < 2^995, so the operands of a product stay below that.
#pragma once

#include <cfloat>
#include <compare>

#if !defined(FLT_EVAL_METHOD) || FLT_EVAL_METHOD != 0
#error "double-double arithmetic needs doubles evaluated in double precision"
#endif

namespace rxc {

// hi + lo with |lo| <= ulp(hi)/2, i.e. hi is hi + lo rounded to nearest
// (the functions below keep that; a value built by hand should too).
struct DoubleDouble {
  double hi = 0.0;
  double lo = 0.0;
};

namespace dd {

// s + e = a + b exactly, s = fl(a + b) (Knuth's two-sum, any order of sizes).
inline DoubleDouble twoSum(double a, double b) {
  const double s = a + b;
  const double bb = s - a;
  const double e = (a - (s - bb)) + (b - bb);
  return {s, e};
}

// As twoSum, when |a| >= |b| or a == 0 (Dekker's fast two-sum).
inline DoubleDouble quickTwoSum(double a, double b) {
  const double s = a + b;
  return {s, b - (s - a)};
}

// a = hi + lo exactly, each with at most 26 significant bits (Veltkamp).
inline DoubleDouble split(double a) {
  constexpr double kSplitter = 134217729.0;  // 2^27 + 1
  const double t = kSplitter * a;
  const double hi = t - (t - a);
  return {hi, a - hi};
}

// p + e = a * b exactly, p = fl(a * b) (Dekker), unless the product under-
// or overflows.
inline DoubleDouble twoProductBySplitting(double a, double b) {
  const double p = a * b;
  const DoubleDouble x = split(a);
  const DoubleDouble y = split(b);
  const double e = ((x.hi * y.hi - p) + x.hi * y.lo + x.lo * y.hi) + x.lo * y.lo;
  return {p, e};
}

#if defined(__x86_64__) && defined(__GNUC__)
#define RXC_FUSED_PRODUCT_ERROR 1
// Whether this processor has fused multiply-add, found once at start-up (the
// program's own build assumes only the x86-64 baseline).
inline const bool kFusedMultiplyAdd = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("fma") != 0;
}();

// The same as twoProductBySplitting where it is exact: e = a * b - p in one
// rounding, which is exact since the error of a rounded product is itself a
// double unless it underflows. Only where kFusedMultiplyAdd.
inline DoubleDouble twoProductFused(double a, double b) {
  const double p = a * b;
  double e = p;
  asm("vfmsub231sd %2, %1, %0" : "+x"(e) : "x"(a), "x"(b));
  return {p, e};
}
#endif

// p + e = a * b exactly, p = fl(a * b), unless the product under- or
// overflows: by one fused operation where the processor has it, else by
// Dekker's method, with the same bits either way.
inline DoubleDouble twoProduct(double a, double b) {
#ifdef RXC_FUSED_PRODUCT_ERROR
  if (kFusedMultiplyAdd) return twoProductFused(a, b);
#endif
  return twoProductBySplitting(a, b);
}

}  // namespace dd

inline DoubleDouble operator-(DoubleDouble a) { return {-a.hi, -a.lo}; }

inline DoubleDouble operator+(DoubleDouble a, DoubleDouble b) {
  DoubleDouble s = dd::twoSum(a.hi, b.hi);
  const DoubleDouble t = dd::twoSum(a.lo, b.lo);
  s.lo += t.hi;
  s = dd::quickTwoSum(s.hi, s.lo);
  s.lo += t.lo;
  return dd::quickTwoSum(s.hi, s.lo);
}

// a + b where no cancellation can occur (both of one sign, or |b| far below
// |a|): a cheaper sum, within about 3u^2 there, but with no bound when the
// two nearly cancel.
inline DoubleDouble sumWithoutCancellation(DoubleDouble a, DoubleDouble b) {
  DoubleDouble s = dd::twoSum(a.hi, b.hi);
  s.lo += a.lo + b.lo;
  return dd::quickTwoSum(s.hi, s.lo);
}

inline DoubleDouble operator+(DoubleDouble a, double b) {
  DoubleDouble s = dd::twoSum(a.hi, b);
  s.lo += a.lo;
  return dd::quickTwoSum(s.hi, s.lo);
}

inline DoubleDouble operator+(double a, DoubleDouble b) { return b + a; }
inline DoubleDouble operator-(DoubleDouble a, DoubleDouble b) { return a + (-b); }
inline DoubleDouble operator-(DoubleDouble a, double b) { return a + (-b); }
inline DoubleDouble operator-(double a, DoubleDouble b) { return (-b) + a; }

inline DoubleDouble operator*(DoubleDouble a, DoubleDouble b) {
  DoubleDouble p = dd::twoProduct(a.hi, b.hi);
  p.lo += a.hi * b.lo + a.lo * b.hi;
  return dd::quickTwoSum(p.hi, p.lo);
}

inline DoubleDouble operator*(DoubleDouble a, double b) {
  DoubleDouble p = dd::twoProduct(a.hi, b);
  p.lo += a.lo * b;
  return dd::quickTwoSum(p.hi, p.lo);
}

inline DoubleDouble operator*(double a, DoubleDouble b) { return b * a; }

// One quotient digit, the exact remainder a - q1 b from a two-product, and a
// correcting second digit.
inline DoubleDouble operator/(DoubleDouble a, double b) {
  const double q1 = a.hi / b;
  const DoubleDouble p = dd::twoProduct(q1, b);
  DoubleDouble r = dd::twoSum(a.hi, -p.hi);
  r.lo -= p.lo;
  r.lo += a.lo;
  const double q2 = (r.hi + r.lo) / b;
  return dd::quickTwoSum(q1, q2);
}

inline DoubleDouble& operator+=(DoubleDouble& a, DoubleDouble b) { return a = a + b; }
inline DoubleDouble& operator-=(DoubleDouble& a, DoubleDouble b) { return a = a - b; }
inline DoubleDouble& operator*=(DoubleDouble& a, DoubleDouble b) { return a = a * b; }

// Comparison of the values hi + lo: since hi is the value rounded, the pairs
// compare in lexicographic order (NaNs unordered).
inline bool operator==(DoubleDouble a, DoubleDouble b) { return a.hi == b.hi && a.lo == b.lo; }
inline std::partial_ordering operator<=>(DoubleDouble a, DoubleDouble b) {
  if (a.hi != b.hi) return a.hi <=> b.hi;
  return a.lo <=> b.lo;
}

}  // namespace rxc
