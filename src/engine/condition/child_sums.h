// The shares of a walked node's children in the node's closed-form sum,
// found one from the other.
#pragma once

#include <cstdint>

#include "base/wide_real.h"

namespace rxc {

// Child x's share of a walked node's closed-form sum is the sum, over the
// child's completions, of the product of 1/x! over the node's open cells:
// the child's own closed form times 1/x! for the node's cell (and 1/y! for
// the last row's cell y = c' - x when the child completes the column). The
// first share asked for is computed; the next ones follow by the ratio of
// consecutive children, so a node takes one exp instead of one per child.
// With c' what the column needs, R what row i needs and B what the rows
// below it need, share x + 1 is share x times
//   (c' - x)(R - x) / ((x + 1)(B - c' + x + 1))
// whether the rows below take the rest of the column (Vandermonde's binomial
// over them) or the last row alone does.
class ChildShares {
 public:
  ChildShares(int32_t need, int32_t rowNeed, int32_t below)
      : need_(need), rowNeed_(rowNeed), below_(below) {}

  // Child x's share; children are asked for in increasing x, and `direct`
  // computes the first one asked for.
  template <class Direct>
  const WideReal& at(int32_t x, Direct direct) {
    if (!known_) {
      share_ = direct();
      x_ = x;
      known_ = true;
    }
    for (; x_ < x; ++x_) {
      const auto up = static_cast<double>((need_ - x_) * (rowNeed_ - x_));
      const auto down = static_cast<double>((x_ + 1) * (below_ - need_ + x_ + 1));
      share_ = toWide(share_.mantissa * up / down, share_.exponent);
    }
    return share_;
  }

 private:
  int64_t need_, rowNeed_, below_;
  bool known_ = false;
  int64_t x_ = 0;
  WideReal share_{};
};

}  // namespace rxc
