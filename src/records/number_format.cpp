#include "records/number_format.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

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

// Exponent form "0.ddd" + exponent, right-justified; the "0" before the point
// goes only when the field has no room for it.
std::string exponentForm(double value, int width, int digits, char letter, int expDigits) {
  if (!std::isfinite(value)) return formatNonFinite(value, width);
  if (digits < 1) return std::string(width, '*');
  const Scaled s = scale(std::fabs(value), digits);
  const std::string exponent = exponentText(s.exponent, letter, expDigits);
  if (exponent.empty()) return std::string(width, '*');
  const std::string sign = std::signbit(value) ? "-" : "";
  const std::string body = "." + s.digits + exponent;
  if (static_cast<int>(sign.size() + 1 + body.size()) <= width) {
    return rightJustify(sign + "0" + body, width);
  }
  return rightJustify(sign + body, width);
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

}  // namespace

std::string formatInteger(int64_t value, int width) {
  const std::string digits = std::to_string(value);
  if (width <= 0) return digits;  // I0: as many columns as the value needs
  return rightJustify(digits, width);
}

std::string formatExponent(double value, int width, int digits, char letter) {
  return exponentForm(value, width, digits, letter, 2);
}

std::string formatListReal(double value) { return generalForm(value, 24, 15, 3); }

std::string formatListReal4(float value) { return generalForm(value, 15, 7, 2); }

}  // namespace rxc
