// The exact accumulator: sums with known values (ties, subnormals, overflow),
// and random sets of terms against a plain big-integer sum rounded by hand.
#include "base/exact_sum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "base/double_pair.h"
#include "support/reference_sum.h"

namespace rxc {
namespace {

using testing::ReferenceSum;

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kLargest = std::numeric_limits<double>::max();
constexpr double kSmallest = std::numeric_limits<double>::denorm_min();  // 2^-1074

double exactSum(const std::vector<double>& terms) {
  ExactSum sum;
  for (double p : terms) sum.add(p);
  return sum.rounded();
}

double referenceSum(const std::vector<double>& terms) {
  ReferenceSum sum;
  for (double p : terms) sum.add(p);
  return sum.rounded();
}

// Bit equality that names the values when it fails.
void expectSameBits(double actual, double expected, const std::string& where) {
  EXPECT_EQ(std::bit_cast<uint64_t>(actual), std::bit_cast<uint64_t>(expected))
      << where << ": " << std::hexfloat << actual << " against " << expected;
}

TEST(ExactSum, KnownSums) {
  const double one = 1.0;
  const double oneUp = std::nextafter(1.0, 2.0);  // 1 + 2^-52, odd significand
  const struct {
    std::vector<double> terms;
    double sum;
    const char* what;
  } cases[] = {
      {{}, 0.0, "no term"},
      {{0.0, -0.0}, 0.0, "zeros"},
      {std::vector<double>(10, 0.1), 1.0, "ten times 0.1 (naively 0.9999999999999999)"},
      {{one, 0x1p-53}, one, "a tie below an even significand stays"},
      {{oneUp, 0x1p-53}, 1.0 + 0x1p-51, "a tie above an odd one goes up"},
      {{one, 0x1p-54, 0x1p-54}, one, "a tie in two halves"},
      {{one, 0x1p-53, kSmallest}, oneUp, "just past the tie"},
      {{kSmallest, kSmallest, kSmallest}, 3 * kSmallest, "subnormals"},
      {{0x1p-1023, 0x1p-1023}, 0x1p-1022, "two subnormals that make a normal"},
      {{kLargest, kLargest}, kInfinity, "past the largest double"},
      {{kLargest, 0x1p969, 0x1p968}, kLargest, "below half an ulp of the largest"},
      {{kLargest, 0x1p970}, kInfinity, "the tie above the largest (odd) goes up"},
  };
  for (const auto& c : cases) expectSameBits(exactSum(c.terms), c.sum, c.what);
}

TEST(ExactSum, AgreesWithTheBigIntegerSumOnRandomSets) {
  std::mt19937_64 rng(2024);
  auto bitsIn = [&](uint64_t lowExponent, uint64_t highExponent) {
    const uint64_t exponent =
        std::uniform_int_distribution<uint64_t>(lowExponent, highExponent)(rng);
    return std::bit_cast<double>((exponent << 52) | (rng() >> 12));
  };
  auto count = [&](int most) { return std::uniform_int_distribution<int>(1, most)(rng); };
  const struct {
    const char* what;
    std::function<std::vector<double>()> make;
  } families[] = {
      {"subnormal and tiny",
       [&] {
         std::vector<double> t(static_cast<size_t>(count(300)));
         for (double& p : t) p = bitsIn(0, 2);
         return t;
       }},
      {"probabilities",
       [&] {
         std::vector<double> t(static_cast<size_t>(count(3000)));
         for (double& p : t) p = bitsIn(900, 1022);
         return t;
       }},
      {"any exponent",
       [&] {
         std::vector<double> t(static_cast<size_t>(count(50)));
         for (double& p : t) p = bitsIn(0, 2046);
         return t;
       }},
      {"equal, enough to carry out of a bucket",
       [&] { return std::vector<double>(static_cast<size_t>(count(20000)), bitsIn(0, 1023)); }},
      {"a tie split in pieces",
       [&] {
         // x + half its ulp, the half cut into random multiples of 2^-90;
         // sometimes one unit more or less in the last piece.
         const double x = bitsIn(1023, 1023);
         std::vector<double> t{x};
         uint64_t rest = uint64_t{1} << 37;  // 2^-53 in units of 2^-90
         while (rest > 0) {
           const uint64_t piece = std::min(rest, (rng() >> 33) + 1);
           t.push_back(std::ldexp(static_cast<double>(piece), -90));
           rest -= piece;
         }
         if (rng() % 3 == 0) t.push_back(0x1p-90);
         if (rng() % 3 == 0) t.back() = std::nextafter(t.back(), 0.0);
         std::shuffle(t.begin(), t.end(), rng);
         return t;
       }},
  };
  for (const auto& family : families) {
    for (int round = 0; round < 200; ++round) {
      const std::vector<double> terms = family.make();
      const std::string where = std::string(family.what) + ", round " + std::to_string(round);
      expectSameBits(exactSum(terms), referenceSum(terms), where);
      if (::testing::Test::HasFailure()) return;
    }
  }
}

TEST(ExactSum, MergedPiecesEqualTheWhole) {
  std::mt19937_64 rng(7);
  for (int round = 0; round < 100; ++round) {
    // Terms of a few exponents, many equal, so that merging carries too.
    std::vector<double> terms(5000);
    for (double& p : terms) {
      p = rng() % 2 == 0
              ? std::nextafter(1.0, 0.0)
              : std::ldexp(static_cast<double>(rng() >> 11), -60 - static_cast<int>(rng() % 4));
    }
    ExactSum pieces[3];
    for (double p : terms) pieces[rng() % 3].add(p);
    ExactSum merged;
    for (const ExactSum& piece : pieces) merged.merge(piece);
    expectSameBits(merged.rounded(), referenceSum(terms), "round " + std::to_string(round));
  }
}

TEST(BufferedExactSum, TakesTermsOneOrTwoAtATime) {
  // Single terms and pairs (with a +0.0 lane for a term that does not
  // count), over several drains of the buffer, the total read midway too;
  // every other round goes on from a sum already made.
  std::mt19937_64 rng(11);
  for (int round = 0; round < 50; ++round) {
    ReferenceSum reference;
    auto term = [&] {
      const double p =
          std::ldexp(static_cast<double>(rng() >> 11), -53 - static_cast<int>(rng() % 80));
      reference.add(p);
      return p;
    };
    ExactSum start;
    if (round % 2 == 1) {
      for (int k = 0; k < 5; ++k) start.add(term());
    }
    BufferedExactSum sum(start);
    const int steps = static_cast<int>(rng() % 2000);
    for (int step = 0; step < steps; ++step) {
      switch (rng() % 4) {
        case 0:
          sum.add(term());
          break;
        case 1:
          sum.addPair(DoublePair{term(), term()});
          break;
        case 2:
          sum.addPair(DoublePair{term(), 0.0});
          break;
        default:
          sum.addPair(DoublePair{0.0, term()});
          break;
      }
      if (step == steps / 2) expectSameBits(sum.total().rounded(), reference.rounded(), "midway");
    }
    expectSameBits(sum.total().rounded(), reference.rounded(), "round " + std::to_string(round));
  }
}

TEST(ExactSum, AMillionTermsWithoutDrift) {
  // 1 and a million terms of 3 2^-55, each below half an ulp of 1: the naive
  // sum never moves, the exact one is 1 + 375000 2^-52.
  std::vector<double> small(1000001, 0x3p-55);
  small[0] = 1.0;
  double naive = 0.0;
  for (double p : small) naive += p;
  EXPECT_EQ(naive, 1.0);
  expectSameBits(exactSum(small), 1.0 + 375000 * 0x1p-52, "one and small terms");

  // A million probability-like terms over twenty binary orders.
  std::mt19937_64 rng(99);
  std::vector<double> spread(1000000);
  for (double& p : spread) {
    p = std::exp(-std::uniform_real_distribution<double>(10.0, 24.0)(rng));
  }
  naive = 0.0;
  for (double p : spread) naive += p;
  const double reference = referenceSum(spread);
  EXPECT_NE(naive, reference);  // the drift the accumulator is for
  expectSameBits(exactSum(spread), reference, "spread terms");
}

}  // namespace
}  // namespace rxc
