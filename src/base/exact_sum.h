// The exact sum of non-negative doubles, rounded once at the end. Adding the
// probabilities of millions of tables one rounded addition at a time drifts
// in the last printed digits; this sum has no rounding error until it is read,
// and does not depend on the order of the additions, so partial sums of a
// split pass merge exactly.
//
// Representation: every finite non-negative double is an integer significand
// times a power of two fixed by its biased exponent e: (2^52 + mantissa) 2^(e-1075)
// for e >= 1, mantissa 2^-1074 for e = 0 (subnormals and zero). Bucket e holds
// the 64-bit sum of the significands with that exponent, so an addition is one
// integer addition into memory. A bucket that wraps past 2^64 (at the earliest
// after 2^11 additions of the same exponent) carries 1 into the bucket 64
// exponents up, which has exactly the weight of 2^64 units of its own; the
// carry is rare, so its test is a branch that is never taken in a steady
// stream. The buckets above the exponent range take those carries only. The
// sum is exact for any number of additions while it stays below 2^1037, far
// above the largest double; past that it reads as infinity.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "base/double_pair.h"

namespace rxc {

class ExactSum {
 public:
  // Buckets 0..2047 by biased exponent, 64 more for carries out of them.
  static constexpr std::size_t kBuckets = 2048 + 64;

  // p >= 0 and finite (subnormals and both zeros included); anything else is
  // not checked and gives a meaningless sum.
  void add(double p) {
    const uint64_t bits = std::bit_cast<uint64_t>(p);
    const uint64_t exponent = (bits >> 52) & 0x7ff;  // -0.0 has the sign bit
    const uint64_t significand = (bits & kMantissaMask) | (uint64_t{exponent != 0} << 52);
    if (__builtin_add_overflow(buckets_[exponent], significand, &buckets_[exponent])) [[unlikely]] {
      carryFrom(exponent);
    }
  }

  // Adds another sum's terms: afterwards this sum is the exact sum of both.
  void merge(const ExactSum& other);

  // The sum rounded to the nearest double, ties to even; +infinity past the
  // largest double (as a rounded addition gives).
  double rounded() const;

 private:
  static constexpr uint64_t kMantissaMask = (uint64_t{1} << 52) - 1;

  // Bucket `index` wrapped past 2^64: 1 into the bucket worth 2^64 of its
  // units, and on up while those wrap too.
  [[gnu::cold, gnu::noinline]] void carryFrom(std::size_t index);

  std::array<uint64_t, kBuckets> buckets_{};
  bool beyondRange_ = false;  // a carry left the top bucket: the sum is past 2^1037
};

// An ExactSum fed through a small buffer, for terms that arrive one or two at
// a time amid other work, as the accepted tables' probabilities do in the
// enumeration. There, an addition made where its term arrives stores to an
// address (its term's exponent) known only when exp() has finished, and the
// loads of the next tables wait on it; the buffer's address is known early.
// The buffered terms are then added in a loop of their own, alternately into
// two bucket arrays, so that neighbours of one exponent do not wait on each
// other's store.
// Size: two ExactSums and a 2 KB buffer, about 35 KB.
class BufferedExactSum {
 public:
  BufferedExactSum() = default;
  // Goes on from a sum already made (a pass that starts from given totals).
  explicit BufferedExactSum(const ExactSum& start) : lanes_{start, ExactSum()} {}

  // p as for ExactSum::add.
  void add(double p) {
    const uint32_t size = size_;
    buffer_[size] = p;
    size_ = size + 1;
    if (size + 1 >= kCapacity - 1) [[unlikely]] {
      drain();
    }
  }

  // Both lanes, each as for ExactSum::add (a lane that is not to count can be
  // given as +0.0).
  void addPair(DoublePair pair) {
    const uint32_t size = size_;
    __builtin_memcpy(&buffer_[size], &pair, sizeof pair);
    size_ = size + 2;
    if (size + 2 >= kCapacity - 1) [[unlikely]] {
      drain();
    }
  }

  // The exact sum of every term added so far (and of the start). Adding may
  // go on after it.
  const ExactSum& total();

 private:
  // Between calls at most kCapacity - 2 terms wait, so that a pair fits.
  static constexpr uint32_t kCapacity = 256;

  [[gnu::noinline]] void drain();

  ExactSum lanes_[2];
  std::array<double, kCapacity> buffer_;
  uint32_t size_ = 0;
};

}  // namespace rxc
