// A run of the last interior cell x, x1 fixed: the estimates of its tables'
// sums for the screens, the trimming of its improbable ends, and the runs of
// a block that lie wholly beyond a bound, taken off its ends. Along a run the
// sum is convex in x, so its tables beyond a lower bound lie at its ends
// (docs/rounding.md, section 4).
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/debug_checks.h"
#include "base/double_pair.h"
#include "engine/kernel/enumeration_block_shape.h"

namespace rxc::enumeration_detail {

// The estimate of a table of a run, for the screens: the terms fixed along
// the run summed first (`fixed`), then those of x, ln x! + ln (u-x)! +
// ln (v-x)! + ln (w+x)!. Two tables at once give each lane the same sum.
struct RunEstimate {
  using Index = std::ptrdiff_t;
  const double* lf;
  double fixed;
  Index u, v, w;

  double at(Index x) const { return fixed + lf[x] + lf[u - x] + lf[v - x] + lf[w + x]; }
  // Tables x and x + 1; every index read stays within the cells of one of
  // the two.
  DoublePair pairAt(Index x) const {
    return fixed + loadPair(lf + x) + loadPairReversed(lf + (u - x - 1)) +
           loadPairReversed(lf + (v - x - 1)) + loadPair(lf + (w + x));
  }
};

// What is left of the run [lo, hi] once the tables at either end whose
// estimates are above `above` are trimmed off: from `first` to `last`, none
// when first > hi. Two tables a step.
struct RunSpan {
  RunEstimate::Index first;
  RunEstimate::Index last;
};
[[gnu::always_inline]] inline RunSpan trimmedRun(const RunEstimate& run, RunEstimate::Index lo,
                                                 RunEstimate::Index hi, double above) {
  RunEstimate::Index first = lo;
  while (first < hi) {
    const int beyond = laneBits(run.pairAt(first) > splat(above));
    if (beyond != 3) {
      first += beyond & 1;
      break;
    }
    first += 2;
  }
  if (first == hi && run.at(hi) > above) ++first;
  // `first` itself is not trimmed, when it is in the run.
  RunEstimate::Index last = hi;
  while (last > first) {
    const int beyond = laneBits(run.pairAt(last - 1) > splat(above));
    if (beyond != 3) {
      last -= (beyond & 2) >> 1;
      break;
    }
    last -= 2;
  }
  RXC_DEBUG_ASSERT(last >= first || first > hi);
  return {first, last};
}

// The runs of a block left once those at either end whose least, with the
// held terms' sum, is above `bound` are taken off (the runs' leasts are
// convex in x1, so such runs lie at the ends): from `first` to `last`, none
// when first > last (then `before` holds all the block's tables). `before`
// and `after` count the tables of the runs taken off at each end.
struct EndRuns {
  BlockShape::Index first;
  BlockShape::Index last;
  uint64_t before;
  uint64_t after;
};
// Out of line, so that the walk's registers are its own.
[[gnu::noinline]] inline EndRuns runsNotBeyond(const BlockShape& shape, const double* lf,
                                               double held, double bound) {
  EndRuns runs{shape.lo1, shape.hi1, 0, 0};
  BlockShape::RunLeasts front(shape, lf, shape.lo1);
  while (front.x1() <= shape.hi1 && held + front.value() > bound) {
    runs.before += front.tables();
    front.next();
  }
  runs.first = front.x1();
  if (runs.first > shape.hi1) return runs;
  BlockShape::RunLeasts back(shape, lf, shape.hi1);
  while (back.x1() > runs.first && held + back.value() > bound) {
    runs.after += back.tables();
    back.previous();
  }
  runs.last = back.x1();
  return runs;
}

}  // namespace rxc::enumeration_detail
