// Part of engine/kernel/enumeration_kernel.h, included by it alone: the third-last
// interior cell looped around the blocks, on the shapes compiled with r and c
// as constants. Not a header of its own.
//
// Each value x0 of the third-last cell starts its block from formulas in x0,
// without a carry, a refill or array reads. For a visitor that screens single
// tables (option A), a skipped block may settle a stretch of the blocks after
// it: the blocks' leasts are convex in x0 (docs/rounding.md, section 4).
#pragma once

// Included alone (a tool, a reader), it brings the kernel it belongs to;
// the kernel's own include of this file is then skipped by #pragma once.
#include <cstdint>
#include <type_traits>

#include "engine/kernel/enumeration_kernel.h"

namespace rxc::enumeration_detail {

template <int R, int C>
template <class Visitor, class Progress>
[[gnu::always_inline]] inline bool Kernel<R, C>::thirdLastLoop(Progress& progress, Visitor& visitor,
                                                               Counter& counter,
                                                               SubtreeSkipper* skipper) {
  static_assert(kM >= 3);
  constexpr int p0 = kM - 3;  // the third-last cell; the block's cells follow
  // Stretches of blocks only for a visitor that screens each table (option
  // A). For options B and C a search, two descents per probe, cost more than
  // the blocks it skipped (the band of 4 x 4 with every marginal 20: 8 % more
  // instructions).
  constexpr bool kSkipsRuns = kHasNoOpRanges<Visitor> && screensEachTable<Visitor>();
  int32_t* cell = cell_.data();
  const LoopStart loop = loopStart();
  BlockVerdict last;           // what judging the block before found
  double loopGreatest = -1.0;  // the greatest of the loop: not yet bounded
  for (int32_t x0 = cell[p0];; ++x0) {
    cell[p0] = x0;
    setLoopDerived(loop, x0);
    BlockVerdict verdict;
    if (!block(loopBlockStart(loop, x0), progress, visitor, counter,
               kSkipsRuns ? &verdict : nullptr))
      return false;
    if (x0 == loop.high0) return true;
    if constexpr (kSkipsRuns) {
      // Tried where enough blocks are left for a stretch to pay for the
      // loop's greatest, and as the back-off allows.
      if (skipper != nullptr && verdict.skipped && last.judged &&
          loop.high0 - x0 >= kStretchLoopBlocks && stretchBackOff_.due()) {
        if (skipBlockStretch(loop, x0, verdict, last, *skipper, loopGreatest, progress, visitor,
                             counter)) {
          return true;
        }
      }
      last = verdict;
    }
  }
}

template <int R, int C>
[[gnu::always_inline]] inline typename Kernel<R, C>::LoopStart Kernel<R, C>::loopStart() const {
  constexpr int h = R - 1;
  constexpr int p0 = kM - 3;
  constexpr int col1 = (p0 + 1) / h;
  constexpr int col2 = (p0 + 2) / h;
  const int32_t* cell = cell_.data();
  const int32_t* rowRest = rowRest_.data();
  LoopStart loop{colRest_.data()[p0], rowRest[p0],           rest_.data()[p0],
                 high_.data()[p0],    interiorSumBefore(p0), {}};
  if constexpr (col1 > 0 && h > 1) loop.heldRowRest[1] = rowRest[p0 + 1 - h] - cell[p0 + 1 - h];
  if constexpr (col2 > 0 && h > 2) loop.heldRowRest[2] = rowRest[p0 + 2 - h] - cell[p0 + 2 - h];
  return loop;
}

template <int R, int C>
[[gnu::always_inline]] inline typename Kernel<R, C>::BlockStart Kernel<R, C>::loopBlockStart(
    const LoopStart& loop, int32_t x0) const {
  constexpr int h = R - 1;
  constexpr int p0 = kM - 3;
  constexpr int row1 = (p0 + 1) % h, col1 = (p0 + 1) / h;
  const int32_t* rowMargin = rowMargin_.data();
  const int32_t* colMargin = colMargin_.data();
  const int32_t* colSuffix = colSuffix_.data();
  // rowRest of cell p0 + k for x0: its row's margin in the first column;
  // else what the cell to its left leaves, which is x0's cell itself when
  // the column holds k interior rows.
  auto blockRowRest = [&](auto position) {
    constexpr int k = decltype(position)::value;
    constexpr int row = (p0 + k) % h, col = (p0 + k) / h;
    if constexpr (col == 0) {
      return rowMargin[row];
    } else if constexpr (h == k) {
      return loop.rowRest0 - x0;
    } else {
      return loop.heldRowRest[k];
    }
  };
  BlockStart b;
  b.before = addInteriorCell(loop.before0, logFactorial_[x0]);
  if constexpr (row1 == 0) {
    b.colRest1 = colMargin[col1];
    b.rest1 = colSuffix[col1];
  } else {
    b.colRest1 = loop.colRest0 - x0;
    b.rest1 = loop.rest0 - loop.rowRest0;
  }
  b.rowRest1 = blockRowRest(std::integral_constant<int, 1>{});
  if constexpr (R >= 3) {
    b.u0 = b.colRest1;
    b.fixed = blockRowRest(std::integral_constant<int, 2>{});
    b.rest2 = b.rest1 - b.rowRest1;
  } else {
    b.u0 = b.rowRest1;
    b.fixed = colMargin[C - 2];
    b.rest2 = colSuffix[C - 2];
  }
  return b;
}

template <int R, int C>
[[gnu::always_inline]] inline void Kernel<R, C>::setLoopDerived(const LoopStart& loop, int32_t x0) {
  constexpr int h = R - 1;
  constexpr int p0 = kM - 3;
  constexpr int row0 = p0 % h, col0 = p0 / h;
  const double* lf = logFactorial_;
  if constexpr (row0 == h - 1) rowLog_.data()[col0] = splat(lf[loop.colRest0 - x0]);
  if constexpr (col0 == C - 2) colLog_.data()[row0] = splat(lf[loop.rowRest0 - x0]);
}

template <int R, int C>
inline typename Kernel<R, C>::BlockVerdict Kernel<R, C>::loopBlockLeast(const LoopStart& loop,
                                                                        int32_t x0) {
  setLoopDerived(loop, x0);
  const BlockStart b = loopBlockStart(loop, x0);
  const double sum = heldSumFrom(b.before) + shapeOf(b).least(logFactorial_);
  const double slack = blockSlack(rows() * cols());
  return BlockVerdict{true, false, sum * (1.0 - slack), sum * (1.0 + slack)};
}

template <int R, int C>
inline uint64_t Kernel<R, C>::loopTables(const LoopStart& loop, int32_t from, int32_t to) const {
  uint64_t n = 0;
  for (int32_t x0 = from; x0 <= to; ++x0) n += shapeOf(loopBlockStart(loop, x0)).tables();
  return n;
}

// The stretches of blocks. Where one block is inside a no-op range, and so is
// the greatest of the whole loop (the subtree of the cell before):
//  - when its least has risen from the block before, no later block's least
//    is below it: the rest of the loop is skipped;
//  - when it is still falling, every block up to a z whose least is inside
//    and still falls to z + 1 is skipped; such a z is sought by doubling
//    steps, then halving.
template <int R, int C>
template <class Visitor, class Progress>
bool Kernel<R, C>::skipBlockStretch(const LoopStart& loop, int32_t& x0, BlockVerdict& verdict,
                                    const BlockVerdict& last, SubtreeSkipper& skipper,
                                    double& loopGreatest, Progress& progress,
                                    const Visitor& visitor, Counter& counter) {
  constexpr int p0 = kM - 3;
  auto greatestOfLoop = [&] {
    if (loopGreatest < 0.0) {
      loopGreatest = subtreeRange(p0 - 1, logSum_.data()[p0 - 1], skipper).greatest;
    }
    return loopGreatest;
  };
  const Screen screen = screenOf(visitor);
  bool skipped = false;
  if (!screen.mayCover(verdict.leastBelow)) {
    // Inside only through its greatest: nothing to carry over.
  } else if (verdict.leastBelow > last.leastAbove) {
    if (screen.covers(verdict.leastBelow, greatestOfLoop())) {
      stretchBackOff_.record(true);
      countUnvisited(progress, counter, loopTables(loop, x0 + 1, loop.high0));
      auditSkip(visitor, p0, x0 + 1, loop.high0, loopTables(loop, x0 + 1, loop.high0));
      cell_.data()[p0] = loop.high0;
      return true;
    }
  } else if (verdict.leastAbove < last.leastBelow) {
    auto skippable = [&](int32_t z) {
      const BlockVerdict at = loopBlockLeast(loop, z);
      return screen.covers(at.leastBelow, greatestOfLoop()) &&
             at.leastBelow > loopBlockLeast(loop, z + 1).leastAbove;
    };
    const int32_t good = endOfStretch(x0, loop.high0, skippable);
    if (good > x0) {
      countUnvisited(progress, counter, loopTables(loop, x0 + 1, good));
      auditSkip(visitor, p0, x0 + 1, good, loopTables(loop, x0 + 1, good));
      x0 = good;
      verdict = loopBlockLeast(loop, good);
      skipped = true;
    }
  }
  stretchBackOff_.record(skipped);
  return false;
}

}  // namespace rxc::enumeration_detail
