// Exact number fields of the record layer. Every function returns exactly the
// field's characters (w of them), rounded to nearest, ties to even, from the
// exact binary value.
#pragma once

#include <cstdint>
#include <string>

#include "base/wide_real.h"

namespace rxc {

// Iw: right-justified, minus sign for negatives; w asterisks when it does not fit.
std::string formatInteger(int64_t value, int width);

// Dw.d and Ew.d: "0." and d digits, then the exponent: letter, sign, two digits
// for exponents -99..99; sign and three digits without the letter beyond that.
// The leading "0" is dropped only when the field has no room for it.
std::string formatExponent(double value, int width, int digits, char letter);

// The same field for a value of any size: the digits are rounded once from
// the exact value (hi + lo) 2^exponent, ties to even, so a value that is a
// double gives the field above. Exponents of four digits or more give
// asterisks, as there.
std::string formatExponent(const WideReal& value, int width, int digits, char letter);

// The list-directed form of an 8-byte real (G24.15E3 with the fixed-form range
// [0.1, 1e15) after rounding to 15 significant digits).
std::string formatListReal(double value);

// The list-directed form of a 4-byte real (G15.7E2 by the same rules).
std::string formatListReal4(float value);

}  // namespace rxc
