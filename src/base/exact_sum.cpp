#include "base/exact_sum.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace rxc {

namespace {

// Bucket e >= 1 counts units of 2^(e-1075); bucket 0 counts units of 2^-1074,
// the same as bucket 1. As a power of two above 2^-1074:
std::size_t bitOffset(std::size_t bucket) { return bucket == 0 ? 0 : bucket - 1; }

// The whole sum as one integer, in units of 2^-1074, least significant limb
// first. The top bucket's 64 bits end at bit 2110 + 64; one limb to spare for
// the carries of adding every bucket.
constexpr std::size_t kLimbs = (ExactSum::kBuckets - 2 + 64) / 64 + 2;
using Limbs = std::array<uint64_t, kLimbs>;

void addAt(Limbs& limbs, uint64_t value, std::size_t offset) {
  std::size_t k = offset / 64;
  const unsigned shift = offset % 64;
  const uint64_t low = value << shift;
  const uint64_t high = shift == 0 ? 0 : value >> (64 - shift);
  bool carry = __builtin_add_overflow(limbs[k], low, &limbs[k]);
  ++k;
  carry = __builtin_add_overflow(limbs[k], high + carry, &limbs[k]);  // high < 2^63
  while (carry) {
    ++k;
    carry = ++limbs[k] == 0;
  }
}

bool bitAt(const Limbs& limbs, std::size_t position) {
  return (limbs[position / 64] >> (position % 64)) & 1;
}

// Bits [position, position + 53) as an integer.
uint64_t significandAt(const Limbs& limbs, std::size_t position) {
  const std::size_t k = position / 64;
  const unsigned shift = position % 64;
  uint64_t bits = limbs[k] >> shift;
  if (shift != 0) bits |= limbs[k + 1] << (64 - shift);
  return bits & ((uint64_t{1} << 53) - 1);
}

// Whether any of bits [0, position) is set.
bool anyBelow(const Limbs& limbs, std::size_t position) {
  const std::size_t k = position / 64;
  for (std::size_t j = 0; j < k; ++j) {
    if (limbs[j] != 0) return true;
  }
  const unsigned shift = position % 64;
  return shift != 0 && (limbs[k] & ((uint64_t{1} << shift) - 1)) != 0;
}

}  // namespace

void ExactSum::carryFrom(std::size_t index) {
  // 2^64 units of bucket `index` are one unit of the bucket 64 exponents up
  // (bucket 0 shares bucket 1's unit).
  std::size_t target = std::max<std::size_t>(index, 1) + 64;
  while (target < kBuckets) {
    if (++buckets_[target] != 0) return;
    target += 64;
  }
  beyondRange_ = true;
}

void ExactSum::merge(const ExactSum& other) {
  for (std::size_t i = 0; i < kBuckets; ++i) {
    if (__builtin_add_overflow(buckets_[i], other.buckets_[i], &buckets_[i])) carryFrom(i);
  }
  beyondRange_ = beyondRange_ || other.beyondRange_;
}

double ExactSum::rounded() const {
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  if (beyondRange_) return kInfinity;
  Limbs limbs{};
  for (std::size_t i = 0; i < kBuckets; ++i) {
    if (buckets_[i] != 0) addAt(limbs, buckets_[i], bitOffset(i));
  }
  std::size_t top = kLimbs;
  while (top > 0 && limbs[top - 1] == 0) --top;
  if (top == 0) return 0.0;
  const std::size_t bitLength =
      64 * top - static_cast<std::size_t>(std::countl_zero(limbs[top - 1]));
  // Up to 53 bits the sum is a double as it stands (subnormal below 2^-1022).
  if (bitLength <= 53) return std::ldexp(static_cast<double>(limbs[0]), -1074);

  // The top 53 bits, rounded by the next bit and whether any below it is set;
  // a carry out to 2^53 is still exact as a double.
  const std::size_t dropped = bitLength - 53;
  uint64_t significand = significandAt(limbs, dropped);
  if (bitAt(limbs, dropped - 1) && ((significand & 1) != 0 || anyBelow(limbs, dropped - 1))) {
    ++significand;
  }
  // At least 2^-1022: a normal double, or infinity past the largest.
  return std::ldexp(static_cast<double>(significand), static_cast<int>(dropped) - 1074);
}

void BufferedExactSum::drain() {
  const double* term = buffer_.data();
  const double* const end = term + size_;
  for (; end - term >= 4; term += 4) {
    lanes_[0].add(term[0]);
    lanes_[1].add(term[1]);
    lanes_[0].add(term[2]);
    lanes_[1].add(term[3]);
  }
  for (int lane = 0; term < end; ++term, lane ^= 1) lanes_[lane].add(*term);
  size_ = 0;
}

const ExactSum& BufferedExactSum::total() {
  drain();
  lanes_[0].merge(lanes_[1]);
  lanes_[1] = ExactSum();
  return lanes_[0];
}

}  // namespace rxc
