// The closed-form sums of the children of a node of the network walk, found
// one from the other.
#pragma once

#include <cstdint>

#include "base/wide_real.h"

namespace rxc {

// The closed-form sums of a walked node's children, each relative to the
// child's own fixed cells: the first one asked for is computed, the next ones
// follow by the ratio of consecutive children, so a node takes one exp
// instead of one per child. With c' what the column needs, R what row i
// needs and B what the rows below it need, child x + 1 is child x times
//   (c' - x)(R - x) / (B - c' + x + 1)   (Vandermonde's binomial over the
//                                          rows below, and row i's remainder)
// or, when the child completes the column (the last row takes c' - x),
//   (R - x) / (B - c' + x + 1).
class ChildSums {
 public:
  ChildSums(int32_t need, int32_t rowNeed, int32_t below, bool endsColumn)
      : need_(need), rowNeed_(rowNeed), below_(below), endsColumn_(endsColumn) {}

  // Child x's sum; children are asked for in increasing x, and `direct`
  // computes the first one asked for.
  template <class Direct>
  const WideReal& at(int32_t x, Direct direct) {
    if (!known_) {
      sum_ = direct();
      x_ = x;
      known_ = true;
    }
    for (; x_ < x; ++x_) {
      const int64_t rowLeft = rowNeed_ - x_;
      const auto up = static_cast<double>(endsColumn_ ? rowLeft : (need_ - x_) * rowLeft);
      const auto down = static_cast<double>(int64_t{below_} - need_ + x_ + 1);
      sum_ = toWide(sum_.mantissa * up / down, sum_.exponent);
    }
    return sum_;
  }

 private:
  int64_t need_, rowNeed_, below_;
  bool endsColumn_;
  bool known_ = false;
  int32_t x_ = 0;
  WideReal sum_{};
};

class ChildCounts;

// Where a node's closed-form sum, and its count, may come from: its parent's
// ChildSums and ChildCounts, as child x (none at the root; no counts but in
// the last interior column).
struct SumSource {
  ChildSums* siblings = nullptr;
  int32_t x = 0;
  ChildCounts* counts = nullptr;
};

}  // namespace rxc
