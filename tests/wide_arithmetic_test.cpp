// Double-double and wide arithmetic (base/double_double.h, wide_real.h,
// wide_sum.h, term_sum.h, wide_log_factorial.h): the error-free transforms checked in
// exact integer arithmetic, exp and ln(k!) against 80-digit decimal values
// (tests/data/wide_reference.py), sums against exact big-integer sums and
// against probabilities that add up to 1, and the rounding to a double at the
// subnormal edge, at 0 and past the largest double.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "base/double_double.h"
#include "base/term_sum.h"
#include "base/wide_log_factorial.h"
#include "base/wide_real.h"
#include "base/wide_sum.h"
#include "records/number_format.h"
#include "support/reference_sum.h"

namespace rxc {
namespace {

__extension__ using Int128 = __int128;

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kLargest = std::numeric_limits<double>::max();
constexpr double kSmallest = std::numeric_limits<double>::denorm_min();

double hex(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

std::vector<std::vector<std::string>> readTable(const std::string& file) {
  std::ifstream in(RXC_TEST_DATA_DIR "/" + file);
  EXPECT_TRUE(in) << "missing " << file;
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    std::istringstream split(line);
    for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
    rows.push_back(fields);
  }
  return rows;
}

// |computed - reference| / reference, reference = (hi + lo + lo2) 2^exponent.
double relativeError(const WideReal& computed, int64_t exponent, double hi, double lo, double lo2) {
  const int64_t apart = computed.exponent - exponent;
  if (apart < -2 || apart > 2) return kInfinity;
  const double scale = powerOfTwo(static_cast<int>(apart));
  const DoubleDouble mine{computed.mantissa.hi * scale, computed.mantissa.lo * scale};
  const DoubleDouble difference = (mine - DoubleDouble{hi, lo}) - lo2;
  return std::fabs(difference.hi) / hi;
}

void expectSameBits(double actual, double expected, const std::string& what) {
  EXPECT_EQ(std::bit_cast<uint64_t>(actual), std::bit_cast<uint64_t>(expected))
      << what << ": " << std::hexfloat << actual << " against " << expected;
}

// x as a whole number of units of 2^-shift (exact for the values used here).
Int128 units(double x, int shift) {
  const double scaled = x * powerOfTwo(shift);
  EXPECT_EQ(scaled, std::trunc(scaled)) << std::hexfloat << x;
  return static_cast<Int128>(scaled);
}

TEST(DoubleDouble, TwoSumAndTwoProductAreExact) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> unit(1.0, 2.0);
  std::uniform_int_distribution<int> exponent(-50, 10);
  for (int trial = 0; trial < 20000; ++trial) {
    const double a = std::ldexp(unit(rng), exponent(rng)) * (trial % 2 ? -1 : 1);
    const double b = std::ldexp(unit(rng), exponent(rng)) * (trial % 3 ? 1 : -1);
    // Multiples of 2^-102, below 2^12: whole numbers of 2^-102 in 114 bits.
    const DoubleDouble s = dd::twoSum(a, b);
    ASSERT_EQ(units(s.hi, 102) + units(s.lo, 102), units(a, 102) + units(b, 102));
    ASSERT_EQ(s.hi, a + b);
    const DoubleDouble q = std::fabs(a) >= std::fabs(b) ? dd::quickTwoSum(a, b) : s;
    ASSERT_EQ(q.hi, s.hi);
    ASSERT_EQ(q.lo, s.lo);
    // The product of the significands is exact in 106 bits.
    int ea = 0, eb = 0;
    const Int128 ma = static_cast<Int128>(std::ldexp(std::frexp(a, &ea), 53));
    const Int128 mb = static_cast<Int128>(std::ldexp(std::frexp(b, &eb), 53));
    const DoubleDouble p = dd::twoProduct(a, b);
    const int shift = 106 - ea - eb;
    ASSERT_EQ(units(p.hi, shift) + units(p.lo, shift), ma * mb);
    ASSERT_EQ(p.hi, a * b);
  }
}

// The error of a product taken from one fused operation and by Dekker's
// splitting: both exact against the product of the significands in integers,
// hence the same bits, over the magnitudes products may take (and on a
// processor without fused multiply-add, the splitting alone).
TEST(DoubleDouble, ProductsByFusionAndBySplittingAreExactAndAgree) {
  std::mt19937_64 rng(12);
  std::uniform_real_distribution<double> unit(1.0, 2.0);
  std::uniform_int_distribution<int> exponent(-450, 450);
  const std::vector<double> edges = {1.0, 0x1.fffffffffffffp0, 0x1.0000000000001p0, 1.5,
                                     0x1.5555555555555p0};
  for (int trial = 0; trial < 200000; ++trial) {
    double a = trial % 7 == 0 ? edges[static_cast<size_t>(trial / 7) % edges.size()] : unit(rng);
    double b = trial % 11 == 0 ? edges[static_cast<size_t>(trial / 11) % edges.size()] : unit(rng);
    a = std::ldexp(a, exponent(rng)) * (trial % 2 ? -1 : 1);
    b = std::ldexp(b, exponent(rng)) * (trial % 3 ? 1 : -1);
    int ea = 0, eb = 0;
    const Int128 ma = static_cast<Int128>(std::ldexp(std::frexp(a, &ea), 53));
    const Int128 mb = static_cast<Int128>(std::ldexp(std::frexp(b, &eb), 53));
    const int shift = 106 - ea - eb;
    const DoubleDouble split = dd::twoProductBySplitting(a, b);
    ASSERT_EQ(units(split.hi, shift) + units(split.lo, shift), ma * mb) << trial;
#ifdef RXC_FUSED_PRODUCT_ERROR
    if (!dd::kFusedMultiplyAdd) continue;
    const DoubleDouble fused = dd::twoProductFused(a, b);
    expectSameBits(fused.hi, split.hi, "product");
    expectSameBits(fused.lo, split.lo, "error");
    if (::testing::Test::HasFailure()) break;
#endif
  }
}

TEST(DoubleDouble, KnownQuotientsProductsAndOrder) {
  const DoubleDouble third = DoubleDouble{1.0, 0.0} / 3.0;
  EXPECT_EQ(third.hi, 0x1.5555555555555p-2);
  EXPECT_EQ(third.lo, 0x1.5555555555555p-56);
  const DoubleDouble shifted = DoubleDouble{1.0, 0x1p-60} / 3.0;
  EXPECT_EQ(shifted.hi, 0x1.5555555555555p-2);
  EXPECT_EQ(shifted.lo, 0x1.5aaaaaaaaaaabp-56);
  const DoubleDouble tenth = DoubleDouble{1.0, 0.0} / 10.0;
  EXPECT_EQ(tenth.hi, 0x1.999999999999ap-4);
  EXPECT_EQ(tenth.lo, -0x1.999999999999ap-58);
  // 1/3 + 2/3 and 3 (1/3) are 1 to within 2^-104.
  EXPECT_LT(std::fabs((third + third * 2.0 - 1.0).hi), 0x1p-104);
  EXPECT_LT(std::fabs((third * DoubleDouble{3.0, 0.0} - 1.0).hi), 0x1p-104);
  // (1 + 2^-30)^2 = 1 + 2^-29 + 2^-60 exactly.
  const DoubleDouble square = DoubleDouble{1.0 + 0x1p-30, 0.0} * DoubleDouble{1.0 + 0x1p-30, 0.0};
  EXPECT_EQ(square.hi, 1.0 + 0x1p-29);
  EXPECT_EQ(square.lo, 0x1p-60);
  // Cancellation: (1 + 2^-80) - 1 keeps the 2^-80.
  EXPECT_EQ((DoubleDouble{1.0, 0x1p-80} - 1.0).hi, 0x1p-80);
  EXPECT_TRUE((DoubleDouble{1.0, 0x1p-60} > DoubleDouble{1.0, 0.0}));
  EXPECT_TRUE((DoubleDouble{1.0, -0x1p-60} < DoubleDouble{1.0, 0.0}));
  EXPECT_TRUE((DoubleDouble{2.0, -0x1p-60} > DoubleDouble{1.0, 0x1p-54}));
  EXPECT_TRUE((DoubleDouble{1.0, 0x1p-60} == DoubleDouble{1.0, 0x1p-60}));
}

TEST(WideReal, EveryDoubleNormalisesAndRoundsBack) {
  std::mt19937_64 rng(3);
  std::vector<double> values = {1.0,        -1.0,      3.0,
                                kLargest,   -kLargest, kSmallest,
                                -kSmallest, 0x1p-1022, 0x1.fffffffffffffp-1023,
                                0.1};
  for (int i = 0; i < 20000; ++i) {
    uint64_t bits = rng();
    if (i % 4 == 0) bits &= ~(uint64_t{0x7ff} << 52);  // subnormal
    const double x = std::bit_cast<double>(bits);
    if (std::isfinite(x) && x != 0.0) values.push_back(x);
  }
  for (const double x : values) {
    const WideReal w = toWide(x);
    ASSERT_GE(std::fabs(w.mantissa.hi), 1.0) << x;
    ASSERT_LT(std::fabs(w.mantissa.hi), 2.0) << x;
    ASSERT_EQ(w.mantissa.lo, 0.0) << x;
    ASSERT_EQ(w.exponent, std::ilogb(x)) << x;
    expectSameBits(roundedToDouble(w), x, "round trip");
  }
  EXPECT_TRUE(isZero(toWide(0.0)));
  EXPECT_EQ(roundedToDouble(WideReal{}), 0.0);
}

TEST(WideReal, RoundsAtTheSubnormalEdgeAtZeroAndPastTheLargestDouble) {
  const double justBelow2 = 2.0 - 0x1p-52;
  const struct {
    WideReal value;
    double expected;
    const char* what;
  } cases[] = {
      {toWide({1.0, 0.0}, -1075), 0.0, "half the least subnormal: a tie, to even (0)"},
      {toWide({1.0, 0x1p-60}, -1075), kSmallest, "just above half"},
      {toWide({1.0, -0x1p-60}, -1075), 0.0, "just below half"},
      {toWide({1.5, 0.0}, -1075), kSmallest, "three quarters"},
      {toWide({1.5, 0.0}, -1074), 2 * kSmallest, "one and a half: a tie, to even (2)"},
      {toWide({1.25, 0.0}, -1074), kSmallest, "one and a quarter"},
      {toWide({1.999, 0.0}, -1076), 0.0, "below half"},
      {toWide({1.0, 0.0}, -5000), 0.0, "far below"},
      {toWide({justBelow2, 0.0}, -1023), 0x1p-1022, "largest subnormal and a half: to even"},
      {toWide({justBelow2, -0x1p-60}, -1023), 0x1.ffffffffffffep-1023, "just below that"},
      {toWide({1.0, 0x1p-53}, -1022), 0x1p-1022, "a normal tie stays even"},
      {toWide({justBelow2, 0.0}, 1023), kLargest, "the largest double"},
      {toWide({justBelow2, 0x1p-54}, 1023), kLargest, "less than half an ulp above it"},
      {toWide({justBelow2, 0x1p-53}, 1023), kInfinity, "half an ulp above: overflows"},
      {toWide({1.0, 0.0}, 1024), kInfinity, "2^1024"},
      {toWide({1.0, 0.0}, 5000), kInfinity, "far above"},
      {toWide({-1.0, -0x1p-60}, -1075), -kSmallest, "negative, just beyond half"},
      {toWide({-1.0, 0.0}, 5000), -kInfinity, "negative, far above"},
  };
  for (const auto& c : cases) expectSameBits(roundedToDouble(c.value), c.expected, c.what);
}

TEST(WideReal, ProductsKeepTheirExponentsAndPrecision) {
  const WideReal a = toWide({1.0 + 0x1p-30, 0.0}, -2000);
  const WideReal b = toWide({1.0 + 0x1p-30, 0.0}, 2500);
  const WideReal p = a * b;
  EXPECT_EQ(p.exponent, 500);
  EXPECT_EQ(p.mantissa.hi, 1.0 + 0x1p-29);
  EXPECT_EQ(p.mantissa.lo, 0x1p-60);
  // 3 x 1/3 in a double-double: 1 within 2^-104, either side of the power of 2.
  const WideReal one = toWide(3.0) * (DoubleDouble{1.0, 0.0} / 3.0);
  EXPECT_LT(relativeError(one, 0, 1.0, 0.0, 0.0), 0x1p-104);
  // A factor far outside the split's range is brought into it first.
  const WideReal big = toWide(0.5) * DoubleDouble{0x1.8p1000, 0x1p940};  // 1.5 2^999
  EXPECT_EQ(big.exponent, 999);
  EXPECT_EQ(big.mantissa.hi, 1.5);
  EXPECT_EQ(big.mantissa.lo, 0x1p-60);
  EXPECT_TRUE(isZero(toWide(0.0) * a));
  const WideReal scaled = timesPowerOfTwo(a, -100000);
  EXPECT_EQ(scaled.exponent, -102000);
}

TEST(WideExp, MatchesDecimalValuesTo1e30) {
  const auto rows = readTable("wide_exp.tsv");
  ASSERT_GT(rows.size(), 300u);
  double worst = 0.0;
  for (const auto& row : rows) {
    ASSERT_EQ(row.size(), 6u);
    const WideReal e = wideExp({hex(row[0]), hex(row[1])});
    const double error =
        relativeError(e, std::stoll(row[2]), hex(row[3]), hex(row[4]), hex(row[5]));
    EXPECT_LT(error, 1e-30) << "x = " << row[0] << " + " << row[1];
    worst = std::max(worst, error);
  }
  std::cout << "largest relative error of wideExp: " << worst << "\n";
}

TEST(WideExp, ExactAndNonFiniteArguments) {
  const WideReal one = wideExp({0.0, 0.0});
  EXPECT_EQ(one.mantissa.hi, 1.0);
  EXPECT_EQ(one.mantissa.lo, 0.0);
  EXPECT_EQ(one.exponent, 0);
  EXPECT_TRUE(isZero(wideExp({-kInfinity, 0.0})));
  EXPECT_EQ(roundedToDouble(wideExp({kInfinity, 0.0})), kInfinity);
  EXPECT_TRUE(std::isnan(roundedToDouble(wideExp({std::nan(""), 0.0}))));
  // e^-745 is 0.571 units of 2^-1074, e^-746 is 0.210.
  EXPECT_EQ(roundedToDouble(wideExp({-745.0, 0.0})), kSmallest);
  EXPECT_EQ(roundedToDouble(wideExp({-746.0, 0.0})), 0.0);
}

TEST(WideLogFactorials, MatchDecimalValuesTo1e24) {
  const WideLogFactorials table(20200);
  ASSERT_EQ(table.maxK(), 20200);
  const auto rows = readTable("wide_log_factorials.tsv");
  ASSERT_GT(rows.size(), 500u);
  double worst = 0.0, worstRelative = 0.0;
  for (const auto& row : rows) {
    ASSERT_EQ(row.size(), 5u);
    const int k = std::stoi(row[0]);
    const DoubleDouble reference{hex(row[1]), hex(row[2])};
    const double error = std::fabs(((table[k] - reference) - hex(row[3])).hi);
    EXPECT_LT(error, 1e-24) << "ln(" << k << "!)";
    if (k >= 2) {
      EXPECT_LT(error / reference.hi, 0x1p-100) << "ln(" << k << "!)";
      worstRelative = std::max(worstRelative, error / reference.hi);
    }
    worst = std::max(worst, error);
  }
  std::cout << "largest error of ln(k!): " << worst << " absolute, " << worstRelative
            << " relative\n";
  EXPECT_EQ(table[0].hi, 0.0);
  EXPECT_EQ(table[1].hi, 0.0);
  EXPECT_EQ(WideLogFactorials(0).maxK(), 0);
  EXPECT_EQ(WideLogFactorials(2)[2].hi, 0x1.62e42fefa39efp-1);  // ln 2
}

double referenceRounded(const std::vector<double>& terms) {
  testing::ReferenceSum sum;
  for (const double t : terms) sum.add(t);
  return sum.rounded();
}

// The terms in the given order, or split in three sums merged at the end.
WideSum wideSum(const std::vector<double>& terms, bool inThree) {
  WideSum parts[3];
  for (std::size_t i = 0; i < terms.size(); ++i) {
    parts[inThree ? i % 3 : 0].add(toWide(terms[i]));
  }
  parts[0].merge(parts[1]);
  parts[0].merge(parts[2]);
  return parts[0];
}

TEST(WideSum, SumsOfDoublesRoundAsTheExactSumDoes) {
  std::mt19937_64 rng(17);
  for (const auto& [low, high] :
       {std::pair{-40.0, 0.0}, std::pair{-90.0, 0.0}, std::pair{-1074.0, -1022.0},
        std::pair{940.0, 1023.0}, std::pair{-1090.0, -1000.0}}) {
    std::uniform_real_distribution<double> logs(low, high);
    std::uniform_real_distribution<double> unit(1.0, 2.0);
    for (int trial = 0; trial < 20; ++trial) {
      std::vector<double> terms(1 + rng() % 3000);
      for (double& t : terms) t = std::ldexp(unit(rng), static_cast<int>(logs(rng)));
      const double expected = referenceRounded(terms);
      expectSameBits(wideSum(terms, false).rounded(), expected, "in order");
      std::shuffle(terms.begin(), terms.end(), rng);
      expectSameBits(wideSum(terms, true).rounded(), expected, "shuffled, in three");
    }
  }
}

TEST(WideSum, KeepsSmallTermsAndBoundsWhatItDrops) {
  // 2^22 terms of 2^-60 and of 2^-100 beside 1, none lost.
  WideSum sum;
  sum.add(toWide(1.0));
  for (int i = 0; i < (1 << 22); ++i) sum.add(toWide(0x1p-60));
  WideReal v = sum.value();
  EXPECT_EQ(v.mantissa.hi, 1.0 + 0x1p-38);
  EXPECT_EQ(v.mantissa.lo, 0.0);
  for (int i = 0; i < (1 << 22); ++i) sum.add(toWide(0x1p-100));
  v = sum.value();
  EXPECT_EQ(v.mantissa.hi, 1.0 + 0x1p-38);
  EXPECT_EQ(v.mantissa.lo, 0x1p-78);

  WideSum tiny;
  for (int i = 0; i < (1 << 16); ++i) tiny.add(toWide(0x1p-140));
  tiny.add(toWide(1.0));  // arrives last: the tiny ones are rescaled, not lost
  v = tiny.value();
  EXPECT_EQ(v.mantissa.hi, 1.0);
  EXPECT_EQ(v.mantissa.lo, 0x1p-124);

  // Terms 2^-200 of the sum fall below its last unit; together they stay
  // below 2^-110 of it.
  WideSum dropped;
  dropped.add(toWide(1.0));
  for (int i = 0; i < (1 << 16); ++i) dropped.add(toWide(0x1p-200));
  EXPECT_LT(std::fabs(dropped.value().mantissa.lo), 0x1p-110);
}

TEST(WideSum, OrderOfAdditionsAndMergesChangesNothingBeyondTheBound) {
  std::mt19937_64 rng(23);
  std::uniform_real_distribution<double> unit(1.0, 2.0);
  std::uniform_real_distribution<double> half(-0.5, 0.5);
  std::vector<WideReal> terms(5000);
  for (WideReal& t : terms) {
    const double hi = unit(rng);
    t = toWide({hi, half(rng) * 0x1p-52}, -3000 - static_cast<int64_t>(rng() % 200));
  }
  WideSum forward, backward, pieces[4];
  for (const WideReal& t : terms) forward.add(t);
  for (std::size_t i = terms.size(); i-- > 0;) backward.add(terms[i]);
  for (std::size_t i = 0; i < terms.size(); ++i) pieces[rng() % 4].add(terms[i]);
  pieces[3].merge(pieces[1]);
  pieces[2].merge(pieces[0]);
  pieces[3].merge(pieces[2]);
  const WideReal f = forward.value();
  for (const WideReal& other : {backward.value(), pieces[3].value()}) {
    EXPECT_LT(relativeError(other, f.exponent, f.mantissa.hi, f.mantissa.lo, 0.0), 1e-30);
  }
  EXPECT_EQ(forward.rounded(), 0.0);
  EXPECT_EQ(formatExponent(f, 20, 14, 'D'), formatExponent(pieces[3].value(), 20, 14, 'D'));
}

TEST(WideSum, SubnormalEdgeZeroAndOverflow) {
  WideSum empty;
  EXPECT_TRUE(empty.empty());
  EXPECT_TRUE(isZero(empty.value()));
  EXPECT_EQ(empty.rounded(), 0.0);
  empty.add(WideReal{});
  EXPECT_TRUE(empty.empty());

  WideSum half;  // 2^30 terms of 2^-1105 by doubling merges: 2^-1075 exactly
  half.add(toWide({1.0, 0.0}, -1105));
  for (int i = 0; i < 30; ++i) half.merge(WideSum(half));
  EXPECT_EQ(half.value().exponent, -1075);
  EXPECT_EQ(half.rounded(), 0.0);  // a tie, to even
  half.add(toWide({1.0, 0.0}, -1180));
  EXPECT_EQ(half.rounded(), kSmallest);  // 2^-105 beyond the tie decides

  WideSum big;
  big.add(toWide(kLargest));
  big.add(toWide({0x1p970, -0x1p900}));
  EXPECT_EQ(big.rounded(), kLargest);
  big.add(toWide(0x1p900));
  EXPECT_EQ(big.rounded(), kInfinity);

  WideSum many;  // 2^50 terms of 1: past the 2^40 the bound counts on
  many.add(toWide(1.0));
  for (int i = 0; i < 50; ++i) many.merge(WideSum(many));
  EXPECT_EQ(many.rounded(), 0x1p50);
}

// P(x) for the 2 x 2 tables with all margins m: C(m, x)^2 / C(2m, m).
WideReal hypergeometric(const WideLogFactorials& lf, int m, int x) {
  const DoubleDouble logP = lf[m] * 4.0 - lf[2 * m] - lf[x] * 2.0 - lf[m - x] * 2.0;
  return wideExp(logP);
}

TEST(WideSum, ProbabilitiesOfEveryTableAddUpToOne) {
  const int m = 10000;
  const WideLogFactorials lf(2 * m);
  WideSum sum, scaled;
  for (int x = 0; x <= m; ++x) {
    const WideReal p = hypergeometric(lf, m, x);
    sum.add(p);
    scaled.add(timesPowerOfTwo(p, -3000));
  }
  const WideReal total = sum.value();
  EXPECT_LT(relativeError(total, 0, 1.0, 0.0, 0.0), 1e-24);
  EXPECT_EQ(sum.rounded(), 1.0);
  EXPECT_EQ(formatExponent(total, 20, 14, 'D'), "0.10000000000000D+01");
  const WideReal tiny = scaled.value();
  EXPECT_LT(relativeError(tiny, -3000, 1.0, 0.0, 0.0), 1e-24);
  EXPECT_EQ(scaled.rounded(), 0.0);
  EXPECT_EQ(formatExponent(tiny, 20, 14, 'D'), "0.81285486255577-903");  // 2^-3000
}

// The network walk's short sums: doubles spread over up to 150 binary orders,
// in any order, and products of exact factors, round as their exact sum does.
TEST(TermSum, SumsAndProductsRoundAsTheExactSumDoes) {
  std::mt19937_64 rng(29);
  std::uniform_real_distribution<double> unit(1.0, 2.0);
  for (const auto& [low, high] : {std::pair{-40.0, 0.0}, std::pair{-150.0, 0.0},
                                  std::pair{-1074.0, -1022.0}, std::pair{900.0, 1023.0}}) {
    std::uniform_real_distribution<double> logs(low, high);
    for (int trial = 0; trial < 20; ++trial) {
      std::vector<double> terms(1 + rng() % 2000);
      for (double& t : terms) t = std::ldexp(unit(rng), static_cast<int>(logs(rng)));
      TermSum sum;
      for (const double t : terms) sum.add(toWide(t));
      expectSameBits(roundedToDouble(sum.value()), referenceRounded(terms), "terms");
    }
  }
  // Factors of 26 significant bits, so that each product is exact in a double.
  std::uniform_int_distribution<int64_t> significand(1 << 25, (1 << 26) - 1);
  std::uniform_int_distribution<int> exponent(-300, 0);
  for (int trial = 0; trial < 20; ++trial) {
    std::vector<double> products;
    TermSum sum;
    for (int k = 0; k < 500; ++k) {
      const double a = std::ldexp(static_cast<double>(significand(rng)), exponent(rng));
      const double b = std::ldexp(static_cast<double>(significand(rng)), exponent(rng) - 200);
      products.push_back(a * b);
      sum.addProduct(toWide(a), toWide(b));
    }
    expectSameBits(roundedToDouble(sum.value()), referenceRounded(products), "products");
  }
}

TEST(TermSum, AddsUnnormalisedSumsExactlyAndDropsOnlyFarTerms) {
  // 2^20 ones: kept as they come, the mantissa is 2^20.
  TermSum ones;
  for (int k = 0; k < (1 << 20); ++k) ones.add(toWide(1.0));
  EXPECT_EQ(ones.raw().mantissa.hi, 0x1p20);
  // Products of raw sums, and sums of them, are the exact values.
  TermSum squared;
  squared.addProduct(ones.raw(), ones.raw());
  EXPECT_EQ(roundedToDouble(squared.value()), 0x1p40);
  squared.addProduct(squared.raw(), squared.raw());
  EXPECT_LT(squared.raw().mantissa.hi, 0x1p40);  // back to scale
  EXPECT_EQ(roundedToDouble(squared.value()), 0x1p80 + 0x1p40);
  squared.settle();
  EXPECT_EQ(squared.raw().exponent, 80);
  EXPECT_EQ(squared.raw().mantissa.hi, 1.0 + 0x1p-40);

  // A term 2^-199 of the sum is kept in its low part; one 2^-201 of it is
  // left out; one 2^201 times the sum replaces it.
  TermSum far;
  far.add(toWide(1.0));
  far.add(toWide(0x1p-199));
  far.add(toWide(0x1p-201));
  EXPECT_EQ(far.value().mantissa.hi, 1.0);
  EXPECT_EQ(far.value().mantissa.lo, 0x1p-199);
  far.add(toWide(0x1p201));
  EXPECT_EQ(far.value().exponent, 201);
  EXPECT_EQ(far.value().mantissa.hi, 1.0);
  EXPECT_EQ(far.value().mantissa.lo, 0.0);
}

}  // namespace
}  // namespace rxc
