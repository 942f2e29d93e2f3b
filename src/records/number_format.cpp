#include "records/number_format.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

namespace rxc {
namespace {

std::string rightJustify(std::string_view text, int width) {
  if (static_cast<int>(text.size()) > width) return std::string(width, '*');
  std::string field(width - text.size(), ' ');
  field.append(text);
  return field;
}

// Infinity and NaN have no digits to round; they are named in the field.
std::string formatNonFinite(double value, int width) {
  if (std::isnan(value)) return rightJustify("NaN", width);
  return rightJustify(value < 0 ? "-Infinity" : "Infinity", width);
}

// A finite magnitude as 0.d1d2...dn x 10^exponent, rounded to `digits`
// significant digits (to nearest, ties to even, from the exact binary value).
// Zero gives n zeros and exponent 0.
struct Scaled {
  std::string digits;
  int exponent;
};

Scaled scale(double magnitude, int digits) {
  if (magnitude == 0.0) return {std::string(digits, '0'), 0};
  // "%.*e" rounds exactly; its exponent is that of the rounded value, so a
  // carry such as 9.99..5 -> 1.00 already shows in it.
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*e", digits - 1, magnitude);
  std::string_view text(buffer);
  Scaled result;
  result.digits.push_back(text[0]);
  if (digits > 1) result.digits.append(text.substr(2, digits - 1));
  result.exponent = std::atoi(buffer + text.find('e') + 1) + 1;
  return result;
}

// Exponent part with room for `expDigits` digits: letter, sign and the digits;
// one more digit takes the letter's place. Empty when even that is too small.
std::string exponentText(int exponent, char letter, int expDigits) {
  const char sign = exponent < 0 ? '-' : '+';
  const int magnitude = std::abs(exponent);
  int limit = 1;
  for (int i = 0; i < expDigits; ++i) limit *= 10;
  std::string text;
  int shown = expDigits;
  if (magnitude < limit) {
    text.push_back(letter);
  } else if (magnitude < limit * 10) {
    ++shown;
  } else {
    return {};
  }
  text.push_back(sign);
  std::string number = std::to_string(magnitude);
  text.append(shown - number.size(), '0');
  text.append(number);
  return text;
}

// Exponent form "0.ddd" + exponent, right-justified, from the rounded digits;
// the "0" before the point goes only when the field has no room for it.
std::string exponentLayout(bool negative, const Scaled& s, int width, char letter, int expDigits) {
  const std::string exponent = exponentText(s.exponent, letter, expDigits);
  if (exponent.empty()) return std::string(width, '*');
  const std::string sign = negative ? "-" : "";
  const std::string body = "." + s.digits + exponent;
  if (static_cast<int>(sign.size() + 1 + body.size()) <= width) {
    return rightJustify(sign + "0" + body, width);
  }
  return rightJustify(sign + body, width);
}

std::string exponentForm(double value, int width, int digits, char letter, int expDigits) {
  if (!std::isfinite(value)) return formatNonFinite(value, width);
  if (digits < 1) return std::string(width, '*');
  return exponentLayout(std::signbit(value), scale(std::fabs(value), digits), width, letter,
                        expDigits);
}

// Generalised editing Gw.dEe as list-directed output uses it: values that round
// into [0.1, 10^d) take the fixed form with d significant digits, followed by
// e + 2 blanks where the exponent would stand; others take the exponent form.
// Zero takes the fixed form with d - 1 decimals.
std::string generalForm(double value, int width, int digits, int expDigits) {
  if (!std::isfinite(value)) return formatNonFinite(value, width);
  const Scaled s = scale(std::fabs(value), digits);
  if (value != 0.0 && (s.exponent < 0 || s.exponent > digits)) {
    return exponentForm(value, width, digits, 'E', expDigits);
  }
  const int integerDigits = value == 0.0 ? 1 : s.exponent;
  std::string fixed = std::signbit(value) ? "-" : "";
  if (integerDigits == 0) {
    fixed += "0." + s.digits;
  } else {
    fixed += s.digits.substr(0, integerDigits) + "." +
             s.digits.substr(integerDigits, digits - integerDigits);
  }
  const int blanks = expDigits + 2;
  return rightJustify(fixed, width - blanks) + std::string(blanks, ' ');
}

// A natural number in base 2^32, least significant word first, for rounding a
// WideReal to decimal digits exactly.
class Natural {
 public:
  explicit Natural(uint64_t value = 0) {
    for (; value != 0; value >>= 32) words_.push_back(static_cast<uint32_t>(value));
  }

  void multiply(uint32_t factor) {
    uint64_t carry = 0;
    for (uint32_t& w : words_) {
      carry += uint64_t{w} * factor;
      w = static_cast<uint32_t>(carry);
      carry >>= 32;
    }
    if (carry != 0) words_.push_back(static_cast<uint32_t>(carry));
  }

  void shiftLeft(int64_t bits) {
    if (words_.empty() || bits <= 0) return;
    const unsigned within = static_cast<unsigned>(bits % 32);
    std::vector<uint32_t> out(static_cast<std::size_t>(bits / 32), 0);
    uint32_t carry = 0;
    for (const uint32_t w : words_) {
      out.push_back((w << within) | carry);
      carry = within == 0 ? 0 : w >> (32 - within);
    }
    if (carry != 0) out.push_back(carry);
    words_ = std::move(out);
  }

  void add(const Natural& other) {
    if (words_.size() < other.words_.size()) words_.resize(other.words_.size(), 0);
    uint64_t carry = 0;
    for (std::size_t i = 0; i < words_.size(); ++i) {
      carry += uint64_t{words_[i]} + (i < other.words_.size() ? other.words_[i] : 0);
      words_[i] = static_cast<uint32_t>(carry);
      carry >>= 32;
    }
    if (carry != 0) words_.push_back(static_cast<uint32_t>(carry));
  }

  // *this -= other, for other <= *this.
  void subtract(const Natural& other) {
    int64_t borrow = 0;
    for (std::size_t i = 0; i < words_.size(); ++i) {
      int64_t d = int64_t{words_[i]} - borrow - (i < other.words_.size() ? other.words_[i] : 0);
      borrow = d < 0 ? 1 : 0;
      words_[i] = static_cast<uint32_t>(d + (borrow << 32));
    }
    trim();
  }

  // The remainder of the division by a small divisor, which replaces *this by
  // the quotient.
  uint32_t divide(uint32_t divisor) {
    uint64_t rest = 0;
    for (std::size_t i = words_.size(); i-- > 0;) {
      rest = (rest << 32) | words_[i];
      words_[i] = static_cast<uint32_t>(rest / divisor);
      rest %= divisor;
    }
    trim();
    return static_cast<uint32_t>(rest);
  }

  void setBit(int64_t bit) {
    const std::size_t word = static_cast<std::size_t>(bit / 32);
    if (words_.size() <= word) words_.resize(word + 1, 0);
    words_[word] |= uint32_t{1} << (bit % 32);
  }

  int64_t bitLength() const {
    if (words_.empty()) return 0;
    return 32 * static_cast<int64_t>(words_.size() - 1) + std::bit_width(words_.back());
  }

  bool isZero() const { return words_.empty(); }
  bool isOdd() const { return !words_.empty() && (words_[0] & 1) != 0; }

  std::string decimal() const {
    if (isZero()) return "0";
    Natural rest = *this;
    std::string out;
    while (!rest.isZero()) out.push_back(static_cast<char>('0' + rest.divide(10)));
    return {out.rbegin(), out.rend()};
  }

  friend int compare(const Natural& a, const Natural& b) {
    if (a.words_.size() != b.words_.size()) return a.words_.size() < b.words_.size() ? -1 : 1;
    for (std::size_t i = a.words_.size(); i-- > 0;) {
      if (a.words_[i] != b.words_[i]) return a.words_[i] < b.words_[i] ? -1 : 1;
    }
    return 0;
  }

 private:
  void trim() {
    while (!words_.empty() && words_.back() == 0) words_.pop_back();
  }

  std::vector<uint32_t> words_;
};

Natural powerOfTen(int64_t n) {
  Natural p(1);
  for (int64_t i = 0; i < n; ++i) p.multiply(10);
  return p;
}

void multiplyByPowerOfFive(Natural& x, int64_t n) {
  constexpr uint32_t kFiveToThe13 = 1220703125;
  for (; n >= 13; n -= 13) x.multiply(kFiveToThe13);
  for (; n > 0; --n) x.multiply(5);
}

// The quotient of num / den (a short one: the loop runs once per bit of it);
// num is left holding the remainder.
Natural divide(Natural& num, const Natural& den) {
  Natural quotient;
  for (int64_t bit = num.bitLength() - den.bitLength(); bit >= 0; --bit) {
    Natural shifted = den;
    shifted.shiftLeft(bit);
    if (compare(num, shifted) >= 0) {
      num.subtract(shifted);
      quotient.setBit(bit);
    }
  }
  return quotient;
}

// |value| = m 2^p exactly, m a natural number: hi and lo are each a whole
// significand times a power of two; lo has the smaller one (or is zero).
struct Binary {
  Natural m;
  int64_t p;
};

Binary exactBinary(const WideReal& value) {
  struct Part {
    uint64_t significand;
    int64_t scale;
  };
  const auto part = [](double x) {
    const uint64_t bits = std::bit_cast<uint64_t>(x);
    const int biased = static_cast<int>((bits >> 52) & 0x7ff);
    const uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);
    if (biased == 0) return Part{mantissa, -1074};
    return Part{mantissa | (uint64_t{1} << 52), int64_t{biased} - 1075};
  };
  const double hi = value.mantissa.hi, lo = value.mantissa.lo;
  const Part h = part(hi);
  if (lo == 0.0) return {Natural(h.significand), h.scale + value.exponent};
  const Part l = part(lo);
  const int64_t p = std::min(h.scale, l.scale);
  Natural m(h.significand);
  m.shiftLeft(h.scale - p);
  Natural low(l.significand);
  low.shiftLeft(l.scale - p);
  if ((lo < 0.0) == (hi < 0.0)) {
    m.add(low);
  } else {
    m.subtract(low);
  }
  return {std::move(m), p + value.exponent};
}

// The decimal exponent x of 0.d1d2... x 10^x for |value| (10^(x-1) <= |value|
// < 10^x), estimated from the binary exponent; off by one at most.
int64_t estimatedDecimalExponent(const WideReal& value) {
  const double log2 = static_cast<double>(value.exponent) + std::log2(std::fabs(value.mantissa.hi));
  return static_cast<int64_t>(std::floor(log2 * 0.30102999566398120)) + 1;
}

// As scale(), for a nonzero finite WideReal, from its exact value m 2^p: the
// digits are round(|value| 10^(digits - x)), found by exact division, with x
// moved until the quotient has `digits` digits before it is rounded.
Scaled scaleExactly(const WideReal& value, int digits, int64_t x) {
  const Binary b = exactBinary(value);
  const Natural lower = powerOfTen(digits - 1);
  const Natural upper = powerOfTen(digits);
  for (;;) {
    // |value| 10^s = m 5^s 2^(p + s)
    const int64_t s = digits - x;
    Natural num = b.m, den(1);
    if (s >= 0) {
      multiplyByPowerOfFive(num, s);
    } else {
      multiplyByPowerOfFive(den, -s);
    }
    if (b.p + s >= 0) {
      num.shiftLeft(b.p + s);
    } else {
      den.shiftLeft(-(b.p + s));
    }
    Natural quotient = divide(num, den);  // num: the remainder
    if (compare(quotient, lower) < 0) {
      --x;
      continue;
    }
    if (compare(quotient, upper) >= 0) {
      ++x;
      continue;
    }
    num.shiftLeft(1);
    const int side = compare(num, den);
    if (side > 0 || (side == 0 && quotient.isOdd())) {
      quotient.add(Natural(1));
      if (compare(quotient, upper) == 0) return {lower.decimal(), static_cast<int>(x + 1)};
    }
    return {quotient.decimal(), static_cast<int>(x)};
  }
}

}  // namespace

std::string formatInteger(int64_t value, int width) {
  const std::string digits = std::to_string(value);
  if (width <= 0) return digits;  // I0: as many columns as the value needs
  return rightJustify(digits, width);
}

std::string formatExponent(double value, int width, int digits, char letter) {
  return exponentForm(value, width, digits, letter, 2);
}

std::string formatExponent(const WideReal& value, int width, int digits, char letter) {
  const double hi = value.mantissa.hi;
  if (hi == 0.0 || !std::isfinite(hi)) return formatExponent(hi, width, digits, letter);
  if (digits < 1) return std::string(width, '*');
  // Beyond three exponent digits the field is asterisks whatever the digits;
  // the estimate is off by one at most, so only values near that edge are
  // rounded to find out.
  constexpr int64_t kExponentLimit = 1000;
  const int64_t x = estimatedDecimalExponent(value);
  if (x > kExponentLimit + 2 || x < -kExponentLimit - 2) return std::string(width, '*');
  return exponentLayout(std::signbit(hi), scaleExactly(value, digits, x), width, letter, 2);
}

std::string formatListReal(double value) { return generalForm(value, 24, 15, 3); }

std::string formatListReal4(float value) { return generalForm(value, 15, 7, 2); }

}  // namespace rxc
