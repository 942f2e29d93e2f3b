// Part of engine/kernel/enumeration_kernel.h, included by it alone: the kernel's
// block of the last two interior cells (x1, then x), and the 2 x 2 table. Not
// a header of its own.
//
// A block is first judged whole, then walked: its runs of x (x1 fixed) by
// nested loops (enumeration_runs-inl.h) where they hold two tables or more,
// else as one flat sequence of tables, (x1, x) stepping without a branch, so
// that each run does not end in a mispredicted loop exit. A count-only pass
// keeps nested loops, whose inner loop folds away.
//
// Judging. For a visitor with no-op ranges a whole block is first bounded,
// each term by its least and greatest value over the block, then by its exact
// least (a descent over its runs' leasts) and greatest (at a vertex); a block
// inside a range by more than any rounding of the sums can reach
// (rounding_budget.h) is counted without a visit. Where these extremes lie
// follows from convexity (docs/rounding.md, section 4).
#pragma once

// Included alone (a tool, a reader), it brings the kernel it belongs to;
// the kernel's own include of this file is then skipped by #pragma once.
#include <cstddef>
#include <cstdint>

#include "engine/kernel/enumeration_kernel.h"

namespace rxc::enumeration_detail {

template <int R, int C>
inline HeldTerms Kernel<R, C>::heldTerms() const {
  // Last-row cells of columns 0..c-3 (two or more interior rows) or 0..c-4
  // (one interior row), last-column cells of rows 0..r-4.
  const int r = rows();
  const int c = cols();
  return {rowLog_.data(), r >= 3 ? c - 2 : c - 3, colLog_.data(), r - 3};
}

// 2 x 2: the single interior cell x; the derived cells are cm0 - x, rm0 - x
// and rm1 - cm0 + x.
template <int R, int C>
template <class Visitor, class Progress>
bool Kernel<R, C>::twoByTwo(Progress& progress, Visitor& visitor, Counter& counter) {
  const double* lf = logFactorial_;
  const int32_t cm0 = colMargin_.data()[0];
  const int32_t rm0 = rowMargin_.data()[0];
  const int32_t cornerBase = rowMargin_.data()[1] - cm0;
  const int32_t lo = cellLow(cm0, rm0, colSuffix_.data()[0]);
  const int32_t hi = cellHigh(cm0, rm0);
  const HeldTerms none{nullptr, 0, nullptr, 0};
  for (int32_t x = lo; x <= hi; ++x) {
    tick(progress, counter);
    double logProb = 0.0;
    if constexpr (Visitor::kNeedsLogProb) {
      // One interior row and no held cell: x, below it, beside it, the corner.
      const BlockTerms<double> t{0.0, lf[cm0 - x], lf[rm0 - x], lf[cornerBase + x]};
      const double interior = addInteriorCell(kNoInteriorCells, lf[x]);
      logProb = logMarginConst_ - sumInTableOrder<0, 0>(interior, none, true, t);
    }
    if (!visitor.visit(logProb, Table(*this, 0, x))) return false;
  }
  return true;
}

template <int R, int C>
inline double Kernel<R, C>::heldSumFrom(double before) const {
  const HeldTerms held = heldTerms();
  double sum = addInOrder<kHeldRowTerms>(before, held.lastRow, held.lastRowCount);
  if (rows() >= 3) sum = addInOrder<kHeldColTerms>(sum, held.lastCol, held.lastColCount);
  return sum;
}

template <int R, int C>
inline BlockShape Kernel<R, C>::shapeOf(const BlockStart& b) const {
  using Index = BlockShape::Index;
  const bool manyRows = rows() >= 3;
  // The corner closes the 2 x 2 sub-table of total rest2 that x sits in.
  return {cellLow<Index>(b.colRest1, b.rowRest1, b.rest1),
          cellHigh<Index>(b.colRest1, b.rowRest1),
          cellExcess<Index>(b.u0, b.fixed, b.rest2),
          b.u0,
          b.fixed,
          manyRows ? b.rowRest1 : b.colRest1,
          manyRows ? b.colRest1 : b.rowRest1,
          Index{b.rest2} - b.fixed - (manyRows ? b.colRest1 : b.rowRest1),
          b.rest1};
}

template <int R, int C>
[[gnu::always_inline]] inline typename Kernel<R, C>::BlockStart Kernel<R, C>::blockStart() const {
  const int r = rows();
  const int c = cols();
  const int h = r - 1;
  const int p1 = m_ - 2;  // x1
  const int p2 = m_ - 1;  // x
  const int32_t* cell = cell_.data();
  const int32_t* colRest = colRest_.data();
  const int32_t* rowRest = rowRest_.data();
  const int32_t* rest = rest_.data();
  const int32_t* rowMargin = rowMargin_.data();
  const int32_t* colMargin = colMargin_.data();
  BlockStart b;
  if (r >= 3) {
    // Both in the last interior column, rows r-3 and r-2.
    if (r == 3) {
      b.colRest1 = colMargin[c - 2];
      b.rest1 = colSuffix_.data()[c - 2];
    } else {
      b.colRest1 = colRest[p1 - 1] - cell[p1 - 1];
      b.rest1 = rest[p1 - 1] - rowRest[p1 - 1];
    }
    b.rowRest1 = c == 2 ? rowMargin[r - 3] : rowRest[p1 - h] - cell[p1 - h];
    b.u0 = b.colRest1;
    b.fixed = c == 2 ? rowMargin[r - 2] : rowRest[p2 - h] - cell[p2 - h];
    b.rest2 = b.rest1 - b.rowRest1;
  } else {
    // A single interior row: columns c-3 and c-2.
    b.colRest1 = colMargin[c - 3];
    b.rest1 = colSuffix_.data()[c - 3];
    b.rowRest1 = c == 3 ? rowMargin[0] : rowRest[p1 - 1] - cell[p1 - 1];
    b.u0 = b.rowRest1;
    b.fixed = colMargin[c - 2];
    b.rest2 = colSuffix_.data()[c - 2];
  }
  b.before = interiorSumBefore(p1);
  return b;
}

// A block: judged whole, then walked by nested runs or flat, or counted by
// a pass that needs no log-probability.
template <int R, int C>
template <class Visitor, class Progress>
[[gnu::always_inline]] inline bool Kernel<R, C>::block(const BlockStart& start, Progress& progress,
                                                       Visitor& visitor, Counter& counterOut,
                                                       BlockVerdict* verdict) {
  // The count lives in registers while the block runs; exp() and the like
  // called by the visitor would otherwise force it through memory per table.
  Counter counter = counterOut;
  bool completed = true;
  if constexpr (!Visitor::kNeedsLogProb) {
    completed = countOnlyBlock(start, progress, visitor, counter);
  } else {
    const BlockShape shape = shapeOf(start);
    BlockWalk walk{logFactorial_, logMarginConst_, start.before};
    if constexpr (screensEachTable<Visitor>()) madeScreen(walk, visitor);
    if (!judgeBlock(shape, walk, progress, visitor, counter, verdict)) {
      completed = runsAreLong(shape) ? nestedRuns(shape, walk, progress, visitor, counter)
                                     : flatWalk(shape, walk, progress, visitor, counter);
    }
  }
  counterOut = counter;
  return completed;
}

// The count-only walk: nested loops, and where no progress mark falls in a
// run, its tables are counted at once after it.
template <int R, int C>
template <class Visitor, class Progress>
[[gnu::always_inline]] inline bool Kernel<R, C>::countOnlyBlock(const BlockStart& start,
                                                                Progress& progress,
                                                                Visitor& visitor,
                                                                Counter& counter) {
  const int32_t lo1 = cellLow(start.colRest1, start.rowRest1, start.rest1);
  const int32_t hi1 = cellHigh(start.colRest1, start.rowRest1);
  for (int32_t x1 = lo1; x1 <= hi1; ++x1) {
    const int32_t ux = start.u0 - x1;
    const int32_t lo = cellLow(ux, start.fixed, start.rest2);
    const int32_t hi = cellHigh(ux, start.fixed);
    const uint64_t n = static_cast<uint64_t>(hi - lo + 1);
    if (counter.count + n < counter.markAt) {
      // No progress mark in this run.
      for (int32_t x = lo; x <= hi; ++x) {
        if (!visitor.visit(0.0, Table(*this, x1, x))) {
          counter.count += static_cast<uint64_t>(x - lo + 1);
          return false;
        }
      }
      counter.count += n;
    } else {
      for (int32_t x = lo; x <= hi; ++x) {
        tick(progress, counter);
        if (!visitor.visit(0.0, Table(*this, x1, x))) return false;
      }
    }
  }
  return true;
}

template <int R, int C>
template <class Visitor>
[[gnu::always_inline]] inline const Screen& Kernel<R, C>::madeScreen(BlockWalk& walk,
                                                                     const Visitor& visitor) const {
  if (!walk.screenMade) {
    if constexpr (kHasNoOpRanges<Visitor>) walk.screen = screenOf(visitor);
    walk.screenMade = true;
  }
  return walk.screen;
}

// Judging the block: first from each term's range over it, a dozen reads,
// which settles most blocks far from the ranges' ends. A visitor that screens
// single tables judges every block; one that does not pays for every table
// of a block the check keeps, exp() and all, while a check costs about as
// much as a few tables, so its blocks are judged only where they hold enough
// tables for a success to pay, and as the back-off allows.
template <int R, int C>
template <class Visitor, class Progress>
[[gnu::always_inline]] inline bool Kernel<R, C>::judgeBlock(const BlockShape& shape,
                                                            BlockWalk& walk, Progress& progress,
                                                            const Visitor& visitor,
                                                            Counter& counter,
                                                            BlockVerdict* verdict) {
  constexpr bool kScreensEachTable = screensEachTable<Visitor>();
  if constexpr (!kHasNoOpRanges<Visitor>) {
    return false;
  } else {
    if (!kScreensEachTable && !bounded_) return false;
    // (No x1 has more than fixed + 1 tables: most small blocks are known
    // small before they are counted. The count itself, a few
    // multiplications, is made only where the back-off lets the block be
    // checked: in Fisher's pass on 4 x 4 with every marginal 12, counting
    // every block cost 3 % of the pass.)
    auto mayBeLarge = [&] {
      return static_cast<uint64_t>(shape.hi1 - shape.lo1 + 1) *
                 static_cast<uint64_t>(shape.fixed + 1) >=
             kUnscreenedBlockCheckTables;
    };
    walk.judged =
        !bounded_ || kScreensEachTable ||
        (mayBeLarge() && blockBackOff_.due() && shape.tables() >= kUnscreenedBlockCheckTables);
    if (!walk.judged) return false;
    walk.heldSum = heldSumFrom(walk.before);
    const SumSpan terms = shape.termRange(walk.lf);
    const double termsGreatest = walk.heldSum + terms.greatest;
    if (madeScreen(walk, visitor).covers(walk.heldSum + terms.least, termsGreatest)) {
      if (bounded_) blockBackOff_.record(true);
      countUnvisited(progress, counter, shape.tables());
      auditSkip(visitor, m_ - 2, shape.lo1, shape.hi1, shape.tables());
      return true;
    }
    if (!bounded_) return false;
    return judgeBlockExactly(shape, walk, termsGreatest, progress, visitor, counter, verdict);
  }
}

// Judging the block from its exact least (a descent over its runs' leasts)
// and, where that does not settle it with the terms' greatest, its exact
// greatest (at a vertex); both are estimates of real tables' sums, widened by
// the block slack (rounding_budget.h). Where the condition has a lower bound
// the greatest is sought as its own back-off allows: there the block's least
// settles most blocks (in the band of 4 x 4 with every marginal 20, seeking
// the greatest of every block cost 3 % more of the pass than backing it off).
template <int R, int C>
template <class Visitor, class Progress>
[[gnu::always_inline]] inline bool Kernel<R, C>::judgeBlockExactly(
    const BlockShape& shape, BlockWalk& walk, double termsGreatest, Progress& progress,
    const Visitor& visitor, Counter& counter, BlockVerdict* verdict) {
  const double* lf = walk.lf;
  const double slack = blockSlack(rows() * cols());
  const double leastSum = walk.heldSum + shape.least(lf);
  const double least = leastSum * (1.0 - slack);
  const Screen& screen = walk.screen;
  bool inside = screen.covers(least, termsGreatest);
  double greatest = termsGreatest;
  const bool greatestBacksOff = !screensEachTable<Visitor>() && improbableRange_ >= 0;
  if (!inside && (!greatestBacksOff || greatestBackOff_.due())) {
    greatest = (walk.heldSum + shape.greatest(lf)) * (1.0 + slack);
    inside = screen.covers(least, greatest);
    if (greatestBacksOff) greatestBackOff_.record(inside);
  }
  blockBackOff_.record(inside);
  walk.greatest = greatest;
  if (verdict != nullptr) *verdict = {true, inside, least, leastSum * (1.0 + slack)};
  if (inside) {
    countUnvisited(progress, counter, shape.tables());
    auditSkip(visitor, m_ - 2, shape.lo1, shape.hi1, shape.tables());
  }
  return inside;
}

// Runs of x of two tables or more are walked by nested loops, two tables a
// step; single tables by the flat walk. (No run is longer than fixed + 1;
// the middle one stands for the rest.)
template <int R, int C>
[[gnu::always_inline]] inline bool Kernel<R, C>::runsAreLong(const BlockShape& shape) {
  const BlockShape::Index mid = (shape.lo1 + shape.hi1) / 2;
  return shape.fixed >= kNestedRunLength - 1 &&
         shape.xHigh(mid) - shape.xLow(mid) + 1 >= kNestedRunLength;
}

// The flat walk: the block's tables in one sequence. ln(x!) tables shifted so
// that each derived cell is one index away: with y = x1 + x, x1's own derived
// cell reads k1 - x1, the one that falls with y kY - y, the one beside or
// below x fixed - x, the corner cornerBase + y.
template <int R, int C>
template <class Visitor, class Progress>
[[gnu::always_inline]] inline bool Kernel<R, C>::flatWalk(const BlockShape& blockShape,
                                                          const BlockWalk& walk, Progress& progress,
                                                          Visitor& visitor, Counter& counter) {
  using Index = BlockShape::Index;
  // A copy in registers: the block's shape is in memory, where a visitor's
  // call would have it read again.
  const BlockShape shape = blockShape;
  const double* lf = walk.lf;
  const double* lfK1 = lf + shape.k1;
  const double* lfKY = lf + shape.kY;
  const double* lfFixed = lf + shape.fixed;
  const double* lfCorner = lf + shape.cornerBase;
  const HeldTerms held = heldTerms();
  const bool oneInteriorRow = rows() < 3;
  const double marginConst = walk.marginConst;
  const double before = walk.before;
  Index x1 = shape.lo1;
  Index x = shape.xLow(x1);
  Index hi = shape.xHigh(x1);
  // Bounds of x for the next x1, ready before x reaches its high, so that
  // the step from one table to the next is a compare and two selects.
  Index nextLo = shape.xLow(x1 + 1);
  Index nextHi = shape.xHigh(x1 + 1);
  for (;;) {
    tick(progress, counter);
    const Index y = x1 + x;
    const double interior = addInteriorCell(addInteriorCell(before, lf[x1]), lf[x]);
    // (Below x, then beside it, with two or more interior rows; below x1,
    // then below x, then beside x, with one.)
    const BlockTerms<double> t =
        oneInteriorRow ? BlockTerms<double>{lfK1[-x1], lfFixed[-x], lfKY[-y], lfCorner[y]}
                       : BlockTerms<double>{lfK1[-x1], lfKY[-y], lfFixed[-x], lfCorner[y]};
    const double s =
        sumInTableOrder<kHeldRowTerms, kHeldColTerms>(interior, held, oneInteriorRow, t);
    if (!visitor.visit(marginConst - s,
                       Table(*this, static_cast<int32_t>(x1), static_cast<int32_t>(x))))
      return false;
    // Next (x1, x) without a branch: x wraps to its new low when it passes
    // its high, and x1 moves on.
    // (A select written as a mask: compilers turn the plain conditional
    // into a jump, which mispredicts at every end of a short run.)
    const Index wrap = x == hi ? 1 : 0;
    const Index mask = -wrap;
    x = (nextLo & mask) | ((x + 1) & ~mask);
    hi = (nextHi & mask) | (hi & ~mask);
    x1 += wrap;
    if (x1 > shape.hi1) return true;
    nextLo = shape.xLow(x1 + 1);
    nextHi = shape.xHigh(x1 + 1);
  }
}

}  // namespace rxc::enumeration_detail
