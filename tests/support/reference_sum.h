// The exact sum of non-negative doubles by schoolbook big-integer arithmetic,
// to check the engine's accumulator against: every finite double is a whole
// number of units of 2^-1074, so the sum is an integer in those units, kept
// here in base 2^32 and rounded to a double bit by bit. Slow and plain.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rxc::testing {

class ReferenceSum {
 public:
  void add(double p);  // p >= 0, finite
  // Nearest double, ties to the even significand; infinity past the largest.
  double rounded() const;

 private:
  bool bit(int64_t position) const;
  void addWord(std::size_t index, uint64_t value);

  std::vector<uint32_t> digits_;  // least significant first
};

}  // namespace rxc::testing
