#include "support/reference_sum.h"

#include <cmath>
#include <limits>

namespace rxc::testing {

void ReferenceSum::addWord(std::size_t index, uint64_t value) {
  while (value != 0) {
    if (digits_.size() <= index) digits_.resize(index + 1, 0);
    value += digits_[index];
    digits_[index] = static_cast<uint32_t>(value);
    value >>= 32;
    ++index;
  }
}

void ReferenceSum::add(double p) {
  if (p == 0.0) return;
  // p = f 2^k with 0.5 <= f < 1, so p = (f 2^53) 2^(k - 53), the first factor
  // a whole number; in units of 2^-1074 that is (f 2^53) 2^(k + 1021).
  int k = 0;
  const double f = std::frexp(p, &k);
  uint64_t whole = static_cast<uint64_t>(std::ldexp(f, 53));
  int64_t shift = int64_t{k} + 1021;
  for (; shift < 0; ++shift) whole >>= 1;  // subnormal: the dropped bits are zero
  const std::size_t word = static_cast<std::size_t>(shift / 32);
  const unsigned within = static_cast<unsigned>(shift % 32);
  addWord(word, (whole << within) & 0xffffffffu);
  addWord(word + 1, (whole >> (32 - within)) & 0xffffffffu);
  addWord(word + 2, within == 0 ? 0 : whole >> (64 - within));
}

bool ReferenceSum::bit(int64_t position) const {
  if (position < 0) return false;
  const std::size_t word = static_cast<std::size_t>(position / 32);
  return word < digits_.size() && ((digits_[word] >> (position % 32)) & 1) != 0;
}

double ReferenceSum::rounded() const {
  int64_t top = static_cast<int64_t>(digits_.size()) * 32 - 1;
  while (top >= 0 && !bit(top)) --top;
  if (top < 0) return 0.0;
  // Keep the 53 bits from the top down (fewer if the sum is below 2^53
  // units: then nothing is dropped).
  const int64_t lowest = top >= 52 ? top - 52 : 0;
  uint64_t kept = 0;
  for (int64_t i = top; i >= lowest; --i) kept = 2 * kept + (bit(i) ? 1 : 0);
  const bool half = bit(lowest - 1);
  bool beyondHalf = false;
  for (int64_t i = lowest - 2; i >= 0 && !beyondHalf; --i) beyondHalf = bit(i);
  if (half && (beyondHalf || kept % 2 == 1)) ++kept;
  const double value = std::ldexp(static_cast<double>(kept), static_cast<int>(lowest) - 1074);
  return std::isinf(value) ? std::numeric_limits<double>::infinity() : value;
}

}  // namespace rxc::testing
