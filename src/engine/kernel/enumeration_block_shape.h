// The polygon a block of the last two interior cells (x1, then x) fills, and
// the range of the sums of ln(x!) over it. Used by the kernel's walks to count
// a block's tables and to judge a block, or the blocks of a third-last cell's
// loop, as a whole.
//
// Within a block x1 runs over [lo1, hi1] and, for each x1, x over
// [max(0, lowBase - x1), min(u0 - x1, fixed)]. The cells that move with them
// are x1, x, x1's own derived cell k1 - x1, the cell kY - x1 - x, the cell
// fixed - x and the corner cornerBase + x1 + x (which margin each derived cell
// takes from depends on the shape; their ln(x!) add the same whatever it is).
//
// The sum of a block's moving terms is convex over the polygon, and so are
// the runs' least sums in x1 and a block's least in the third-last cell
// (docs/rounding.md, section 4, which also bounds what rounding does to the
// extremes found here): its greatest is at a vertex, a run's least at its
// turn, and a descent over the runs' leasts from the sub-table's independence
// point finds the block's least.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "base/debug_checks.h"
#include "engine/bounds/cell_bounds.h"
#include "engine/bounds/enumeration_screen.h"

namespace rxc::enumeration_detail {

struct SumSpan {
  double least;
  double greatest;
};

struct BlockShape {
  using Index = std::ptrdiff_t;
  Index lo1, hi1;
  Index lowBase, u0, fixed;
  Index k1, kY, cornerBase;
  Index rest1;  // the sub-table's total: k1 + the total after x1's line

  // x's range in the run of x1 (cell_bounds.h): x's column needs u0 - x1,
  // its row `fixed`, and its excess falls from lowBase by one a unit of x1.
  [[gnu::always_inline]] Index xLow(Index x1) const { return lowOfExcess(lowBase - x1); }
  [[gnu::always_inline]] Index xHigh(Index x1) const { return cellHigh(u0 - x1, fixed); }

  // The tables with x1 in [a, b]: the sum of xHigh - xLow + 1, each bound
  // linear in x1 on either side of its one bend.
  [[gnu::always_inline]] uint64_t tables(Index a, Index b) const {
    a = std::max(a, lo1);
    b = std::min(b, hi1);
    auto sumOfX1 = [](Index from, Index to) {
      return from > to ? 0 : (from + to) * (to - from + 1) / 2;
    };
    auto countOf = [](Index from, Index to) { return from > to ? 0 : to - from + 1; };
    // min(u0 - x1, fixed): fixed up to x1 = u0 - fixed, then u0 - x1.
    const Index bendHigh = u0 - fixed;
    const Index highs = fixed * countOf(a, std::min(b, bendHigh)) +
                        u0 * countOf(std::max(a, bendHigh + 1), b) -
                        sumOfX1(std::max(a, bendHigh + 1), b);
    // max(0, lowBase - x1): lowBase - x1 up to x1 = lowBase, then 0.
    const Index lows =
        lowBase * countOf(a, std::min(b, lowBase)) - sumOfX1(a, std::min(b, lowBase));
    return static_cast<uint64_t>(highs - lows + countOf(a, b));
  }
  [[gnu::always_inline]] uint64_t tables() const { return tables(lo1, hi1); }

  // The moving terms of table (x1, x), an estimate of their sum.
  [[gnu::always_inline]] double sumAt(const double* lf, Index x1, Index x) const {
    return lf[x1] + lf[k1 - x1] + lf[x] + lf[kY - x1 - x] + lf[fixed - x] + lf[cornerBase + x1 + x];
  }

  // The least of the moving terms along the run of x1.
  [[gnu::always_inline]] double runLeast(const double* lf, Index x1) const {
    const Index u = kY - x1;
    const Index v = fixed;
    const Index w = cornerBase + x1;
    return sumAt(lf, x1, std::clamp(ceilDiv(u * v - w - 1, u + v + w + 2), xLow(x1), xHigh(x1)));
  }

  // The runs' least values one after another from x1, with no division per
  // run: along x1 the turn's numerator uv - w - 1 falls by fixed + 1 and its
  // denominator u + v + w + 2 stays, and exceeds fixed + 1 (u + w is the sum
  // of two cells), so each step moves the turn by one at most.
  class RunLeasts {
   public:
    [[gnu::always_inline]] RunLeasts(const BlockShape& shape, const double* lf, Index x1)
        : shape_(shape),
          lf_(lf),
          x1_(x1),
          denominator_(shape.kY + shape.fixed + shape.cornerBase + 2) {
      RXC_DEBUG_ASSERT(denominator_ > shape.fixed + 1);
      const Index numerator = (shape.kY - x1) * shape.fixed - shape.cornerBase - x1 - 1;
      turn_ = ceilDiv(numerator, denominator_);
      past_ = turn_ * denominator_ - numerator;
    }
    Index x1() const { return x1_; }
    // The least of the run of x1 (BlockShape::runLeast).
    [[gnu::always_inline]] double value() const {
      return shape_.sumAt(lf_, x1_, std::clamp(turn_, shape_.xLow(x1_), shape_.xHigh(x1_)));
    }
    // The tables of the run of x1.
    [[gnu::always_inline]] uint64_t tables() const {
      return static_cast<uint64_t>(shape_.xHigh(x1_) - shape_.xLow(x1_) + 1);
    }
    [[gnu::always_inline]] void next() {
      ++x1_;
      past_ += shape_.fixed + 1;
      const bool wraps = past_ >= denominator_;
      past_ -= wraps ? denominator_ : 0;
      turn_ -= wraps;
    }
    [[gnu::always_inline]] void previous() {
      --x1_;
      past_ -= shape_.fixed + 1;
      const bool wraps = past_ < 0;
      past_ += wraps ? denominator_ : 0;
      turn_ += wraps;
    }

   private:
    const BlockShape& shape_;
    const double* lf_;
    Index x1_;
    Index denominator_;
    // The turn is ceil(numerator / denominator); past_ = turn * denominator -
    // numerator, in [0, denominator).
    Index turn_;
    Index past_;
  };

  // Loose bounds from each term's range over the block: ln(k!) does not fall
  // as k rises, so each term is least and greatest at the ends of its
  // argument's range. A dozen reads.
  [[gnu::always_inline]] SumSpan termRange(const double* lf) const {
    const Index xMin = xLow(hi1);
    const Index xMax = xHigh(lo1);
    const Index yMin = std::max(lo1, lowBase);
    const Index yMax = std::min(u0, hi1 + fixed);
    return {lf[lo1] + lf[xMin] + lf[kY - yMax] + lf[k1 - hi1] + lf[fixed - xMax] +
                lf[cornerBase + yMin],
            lf[hi1] + lf[xMax] + lf[kY - yMin] + lf[k1 - lo1] + lf[fixed - xMin] +
                lf[cornerBase + yMax]};
  }

  // The greatest of the moving terms over the block, at a vertex of the
  // polygon; an estimate of a real table's sum.
  double greatest(const double* lf) const {
    double value = 0.0;
    for (const Index corner : {lo1, hi1, lowBase, u0 - fixed}) {
      const Index x1 = std::clamp(corner, lo1, hi1);
      value = std::max({value, sumAt(lf, x1, xLow(x1)), sumAt(lf, x1, xHigh(x1))});
    }
    return value;
  }

  // The least of the moving terms over the block, by a descent over the
  // runs' least values from the sub-table's independence point; an estimate
  // of a real table's sum.
  double least(const double* lf) const;
};

inline double BlockShape::least(const double* lf) const {
  const Index start = std::clamp(rest1 > 0 ? (k1 * kY + rest1 / 2) / rest1 : lo1, lo1, hi1);
  RunLeasts at(*this, lf, start);
  double value = at.value();
  // Up while the next run's least is below; else down.
  if (start < hi1) {
    at.next();
    double nextValue = at.value();
    if (nextValue < value) {
      do {
        value = nextValue;
        if (at.x1() == hi1) return value;
        at.next();
        nextValue = at.value();
      } while (nextValue < value);
      return value;
    }
    at.previous();
  }
  while (at.x1() > lo1) {
    at.previous();
    const double nextValue = at.value();
    if (!(nextValue < value)) break;
    value = nextValue;
  }
  return value;
}

// The end of a stretch that starts after `start` and ends before `high`: the
// greatest z in (start, high) with skippable(z), found by doubling steps, then
// halving, or `start` when skippable(start + 1) fails. skippable(z) must imply
// that every value from start + 1 to z may be skipped; only values it was
// asked about are returned.
template <class Index, class Skippable>
Index endOfStretch(Index start, Index high, Skippable skippable) {
  Index good = start;
  Index bad = high;  // the first value known not to be skippable, or high
  for (Index step = 1;; step *= 2) {
    const Index probe = std::min<Index>(start + step, high - 1);
    if (probe <= good) break;
    if (!skippable(probe)) {
      bad = probe;
      break;
    }
    good = probe;
  }
  while (bad - good > 1) {
    const Index between = good + (bad - good) / 2;
    if (skippable(between)) {
      good = between;
    } else {
      bad = between;
    }
  }
  return good;
}

}  // namespace rxc::enumeration_detail
