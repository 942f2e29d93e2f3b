// fastExp against independent values: exp in extended precision (64-bit
// significand) and 2^(j/128) for the table, so that a wrong constant or a
// regrouped sum shows up as an error above half a unit in the last place.
#include "base/fast_exp.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>

namespace rxc {
namespace {

// Error of `got` in units of the last place of the double nearest `exact`.
long double ulpError(double got, long double exact) {
  const double nearest = static_cast<double>(exact);
  const double ulp = std::nextafter(nearest, std::numeric_limits<double>::infinity()) - nearest;
  return std::fabs(static_cast<long double>(got) - exact) / ulp;
}

TEST(FastExpTest, TableHoldsTwoToTheJOver128) {
  for (int j = 0; j < 128; ++j) {
    const long double exact = std::exp2(static_cast<long double>(j) / 128);
    const double h = std::bit_cast<double>(kExpTable[2 * j + 1] + (static_cast<uint64_t>(j) << 45));
    const double t = std::bit_cast<double>(kExpTable[2 * j]);
    EXPECT_LE(ulpError(h, exact), 0.5L) << "H[" << j << "]";
    // H (1 + T) carries the 11 bits that H alone drops.
    const long double rebuilt = static_cast<long double>(h) * (1.0L + t);
    EXPECT_LE(std::fabs(rebuilt - exact) / exact, 0x1p-62L) << "T[" << j << "]";
  }
}

TEST(FastExpTest, WithinHalfAnUlpAndAFractionOverTheRangeOfProbabilities) {
  std::mt19937_64 random(20261208);
  const struct {
    double low, high;
  } ranges[] = {{-1e-6, 1e-6}, {-1, 1}, {-40, 0}, {-708, 0}, {-700, 700}};
  for (const auto& range : ranges) {
    std::uniform_real_distribution<double> pick(range.low, range.high);
    long double worst = 0;
    for (int i = 0; i < 200000; ++i) {
      const double x = pick(random);
      worst = std::max(worst, ulpError(fastExp(x), std::exp(static_cast<long double>(x))));
    }
    EXPECT_LE(worst, 0.512L) << "[" << range.low << ", " << range.high << "]";
  }
}

TEST(FastExpTest, SubnormalAndUnderflowingResults) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> pick(-745.2, -708.0);
  for (int i = 0; i < 100000; ++i) {
    const double x = pick(random);
    const long double exact = std::exp(static_cast<long double>(x));
    // One rounding to the subnormal grid: within half its spacing, 2^-1075.
    EXPECT_LE(std::fabs(static_cast<long double>(fastExp(x)) - exact), 0x1.01p-1075L) << x;
  }
  EXPECT_EQ(fastExp(-745.1332191019411), 0x1p-1074);
  EXPECT_EQ(std::bit_cast<uint64_t>(fastExp(-745.1332191019412)), 0u);  // +0, not -0
  EXPECT_EQ(fastExp(-1000.0), 0.0);
  EXPECT_EQ(fastExp(-1e300), 0.0);
  EXPECT_EQ(fastExp(-std::numeric_limits<double>::infinity()), 0.0);
}

TEST(FastExpTest, EdgesOfTheArgument) {
  EXPECT_EQ(fastExp(0.0), 1.0);
  EXPECT_EQ(fastExp(-0.0), 1.0);
  EXPECT_EQ(fastExp(1e-300), 1.0);
  EXPECT_EQ(fastExp(-0x1p-53), 1.0 - 0x1p-53);
  EXPECT_EQ(fastExp(std::log(2.0)), 2.0);
  EXPECT_LE(ulpError(fastExp(709.0), std::exp(709.0L)), 0.512L);
  EXPECT_EQ(fastExp(710.0), std::numeric_limits<double>::infinity());
  EXPECT_EQ(fastExp(std::numeric_limits<double>::infinity()),
            std::numeric_limits<double>::infinity());
  EXPECT_TRUE(std::isnan(fastExp(std::numeric_limits<double>::quiet_NaN())));
}

TEST(FastExpTest, PairGivesEachLaneTheBitsOfTheSingleCall) {
  std::mt19937_64 random(99);
  std::uniform_real_distribution<double> pick(-800, 10);
  // The tiny ones: a pair takes them through the polynomial, a single call
  // through its own branch; both must give 1.0.
  const double edges[] = {0.0,    -0.0,   -1e-300, 4.9e-324,
                          3e-17,  -3e-17, 0x1p-54, -0x1p-54,
                          -600.0, -745.2, -1100.0, std::numeric_limits<double>::quiet_NaN()};
  for (int i = 0; i < 200000; ++i) {
    // Every so often one lane takes an argument outside the main range.
    const double a = pick(random);
    const double b = i % 97 == 0 ? edges[(i / 97) % std::size(edges)] : pick(random);
    const DoublePair both = fastExp(DoublePair{a, b});
    ASSERT_EQ(std::bit_cast<uint64_t>(both[0]), std::bit_cast<uint64_t>(fastExp(a))) << a;
    ASSERT_EQ(std::bit_cast<uint64_t>(both[1]), std::bit_cast<uint64_t>(fastExp(b))) << b;
  }
}

}  // namespace
}  // namespace rxc
