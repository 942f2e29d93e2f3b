#include "support/big_integer.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace rxc::testing {

BigInteger::BigInteger(uint64_t value) {
  for (; value != 0; value /= kBase) limbs_.push_back(static_cast<uint32_t>(value % kBase));
}

BigInteger BigInteger::factorial(int n) {
  BigInteger f(1);
  for (int k = 2; k <= n; ++k) f *= static_cast<uint32_t>(k);
  return f;
}

BigInteger BigInteger::powerOfTen(int n) {
  BigInteger p(1);
  for (int k = 0; k < n; ++k) p *= 10;
  return p;
}

void BigInteger::trim() {
  while (!limbs_.empty() && limbs_.back() == 0) limbs_.pop_back();
}

BigInteger& BigInteger::operator+=(const BigInteger& other) {
  limbs_.resize(std::max(limbs_.size(), other.limbs_.size()) + 1, 0);
  uint32_t carry = 0;
  for (std::size_t i = 0; i < limbs_.size(); ++i) {
    uint32_t sum = limbs_[i] + carry + (i < other.limbs_.size() ? other.limbs_[i] : 0);
    carry = sum >= kBase ? 1 : 0;
    limbs_[i] = sum - carry * kBase;
  }
  trim();
  return *this;
}

BigInteger& BigInteger::operator-=(const BigInteger& other) {
  if (*this < other) throw std::logic_error("BigInteger: negative difference");
  int64_t borrow = 0;
  for (std::size_t i = 0; i < limbs_.size(); ++i) {
    int64_t d = int64_t{limbs_[i]} - borrow - (i < other.limbs_.size() ? other.limbs_[i] : 0);
    borrow = d < 0 ? 1 : 0;
    limbs_[i] = static_cast<uint32_t>(d + borrow * kBase);
  }
  trim();
  return *this;
}

BigInteger& BigInteger::operator*=(uint32_t factor) {
  uint64_t carry = 0;
  for (uint32_t& limb : limbs_) {
    carry += uint64_t{limb} * factor;
    limb = static_cast<uint32_t>(carry % kBase);
    carry /= kBase;
  }
  for (; carry != 0; carry /= kBase) limbs_.push_back(static_cast<uint32_t>(carry % kBase));
  trim();
  return *this;
}

uint32_t BigInteger::divideBy(uint32_t divisor) {
  uint64_t rest = 0;
  for (std::size_t i = limbs_.size(); i-- > 0;) {
    rest = rest * kBase + limbs_[i];
    limbs_[i] = static_cast<uint32_t>(rest / divisor);
    rest %= divisor;
  }
  trim();
  return static_cast<uint32_t>(rest);
}

BigInteger operator*(const BigInteger& a, const BigInteger& b) {
  if (a.isZero() || b.isZero()) return {};
  std::vector<uint64_t> acc(a.limbs_.size() + b.limbs_.size() + 1, 0);
  for (std::size_t i = 0; i < a.limbs_.size(); ++i) {
    uint64_t carry = 0;
    for (std::size_t j = 0; j < b.limbs_.size(); ++j) {
      carry += acc[i + j] + uint64_t{a.limbs_[i]} * b.limbs_[j];
      acc[i + j] = carry % BigInteger::kBase;
      carry /= BigInteger::kBase;
    }
    for (std::size_t k = i + b.limbs_.size(); carry != 0; ++k) {
      carry += acc[k];
      acc[k] = carry % BigInteger::kBase;
      carry /= BigInteger::kBase;
    }
  }
  BigInteger product;
  product.limbs_.assign(acc.begin(), acc.end());
  product.trim();
  return product;
}

std::strong_ordering operator<=>(const BigInteger& a, const BigInteger& b) {
  if (a.limbs_.size() != b.limbs_.size()) return a.limbs_.size() <=> b.limbs_.size();
  for (std::size_t i = a.limbs_.size(); i-- > 0;) {
    if (a.limbs_[i] != b.limbs_[i]) return a.limbs_[i] <=> b.limbs_[i];
  }
  return std::strong_ordering::equal;
}

std::string BigInteger::decimal() const {
  if (isZero()) return "0";
  std::string text = std::to_string(limbs_.back());
  char group[16];
  for (std::size_t i = limbs_.size() - 1; i-- > 0;) {
    std::snprintf(group, sizeof group, "%09u", static_cast<unsigned>(limbs_[i]));
    text += group;
  }
  return text;
}

bool sameValue(const Rational& a, const Rational& b) {
  return a.numerator * b.denominator == b.numerator * a.denominator;
}

namespace {

// floor(num / den) for a quotient below 10^digits, by long division one
// decimal digit at a time; num is left holding the remainder.
BigInteger shortQuotient(BigInteger& num, const BigInteger& den, int digits) {
  BigInteger quotient;
  for (int j = digits - 1; j >= 0; --j) {
    const BigInteger step = den * BigInteger::powerOfTen(j);
    uint32_t digit = 0;
    while (num >= step) {
      num -= step;
      ++digit;
    }
    quotient *= 10;
    quotient += BigInteger(digit);
  }
  return quotient;
}

}  // namespace

std::string exactD20_14(const Rational& value) {
  constexpr int kDigits = 14;
  const BigInteger& p = value.numerator;
  const BigInteger& q = value.denominator;
  if (p.isZero()) return "0.00000000000000D+00";
  // x with 10^(x-1) <= p/q < 10^x, from the digit counts, then corrected.
  int x = static_cast<int>(p.decimal().size()) - static_cast<int>(q.decimal().size());
  const auto scaled = [&](int power, const BigInteger& v) {
    return power >= 0 ? v * BigInteger::powerOfTen(power) : v;
  };
  while (scaled(-x, p) >= scaled(x, q)) ++x;        // p/q >= 10^x
  while (scaled(1 - x, p) < scaled(x - 1, q)) --x;  // p/q < 10^(x-1)
  // round(p/q 10^(14 - x)), below 10^14 before rounding.
  BigInteger num = scaled(kDigits - x, p);
  const BigInteger den = scaled(x - kDigits, q);
  BigInteger digits = shortQuotient(num, den, kDigits);
  const BigInteger twice = num + num;
  if (twice > den || (twice == den && digits.decimal().back() % 2 == 1)) {
    digits += BigInteger(1);
    if (digits == BigInteger::powerOfTen(kDigits)) {
      digits = BigInteger::powerOfTen(kDigits - 1);
      ++x;
    }
  }
  const int magnitude = x < 0 ? -x : x;
  if (magnitude > 999) return std::string(20, '*');
  char exponent[8];
  if (magnitude <= 99) {
    std::snprintf(exponent, sizeof exponent, "D%c%02d", x < 0 ? '-' : '+', magnitude);
  } else {
    std::snprintf(exponent, sizeof exponent, "%c%03d", x < 0 ? '-' : '+', magnitude);
  }
  return "0." + digits.decimal() + exponent;
}

}  // namespace rxc::testing
