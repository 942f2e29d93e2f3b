// Non-negative integers of any size in base 10^9, for exact probabilities in
// the tests: factorials, their products and quotients, and the decimal digits
// of a quotient. Plain schoolbook arithmetic; written apart from the record
// layer's own exact rounding (binary, in records/number_format.cpp), so that
// each checks the other.
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <vector>

namespace rxc::testing {

class BigInteger {
 public:
  BigInteger(uint64_t value = 0);  // implicit, as for a built-in integer

  static BigInteger factorial(int n);
  static BigInteger powerOfTen(int n);

  BigInteger& operator+=(const BigInteger& other);
  // *this -= other, for other <= *this.
  BigInteger& operator-=(const BigInteger& other);
  BigInteger& operator*=(uint32_t factor);
  // *this /= divisor, returning the remainder.
  uint32_t divideBy(uint32_t divisor);

  friend BigInteger operator+(BigInteger a, const BigInteger& b) { return a += b; }
  friend BigInteger operator*(const BigInteger& a, const BigInteger& b);
  friend std::strong_ordering operator<=>(const BigInteger& a, const BigInteger& b);
  friend bool operator==(const BigInteger& a, const BigInteger& b) = default;

  bool isZero() const { return limbs_.empty(); }
  std::string decimal() const;

 private:
  static constexpr uint32_t kBase = 1000000000;
  void trim();

  std::vector<uint32_t> limbs_;  // least significant first, no zero on top
};

// numerator / denominator, not reduced.
struct Rational {
  BigInteger numerator;
  BigInteger denominator{1};
};

bool sameValue(const Rational& a, const Rational& b);

// The D20.14 field of a non-negative rational: "0." and 14 digits rounded
// once from the exact value (to nearest, ties to even), then D, the sign and
// two exponent digits (sign and three digits for exponents of 100 to 999).
std::string exactD20_14(const Rational& value);

}  // namespace rxc::testing
