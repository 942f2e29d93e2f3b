// The walks of the kernel's innermost cells: a block of the last two interior
// cells (x1, then x), the third-last cell looped around the blocks on fixed
// shapes, and the 2 x 2 table. Included at the end of enumeration_kernel.h.
//
// A block with log-probabilities whose runs of x are single tables is walked
// as one flat sequence of tables, (x1, x) stepping without a branch, so that
// each run does not end in a mispredicted loop exit; longer runs keep nested
// loops, whose inner loop forms the log-probabilities of tables x and x + 1
// side by side in the two lanes of a DoublePair (each lane adds the same terms
// in the same order as a lone table). A count-only pass keeps the nested
// loops, whose inner loop folds away.
//
// Screening (enumeration_screen.h). For a visitor with no-op ranges a whole
// block is first bounded, each term by its least and greatest value over the
// block; for one that screens each table, each table of a nested run is
// estimated with the terms fixed along the run added up front (four additions
// instead of all of them). A block or a table that is inside a range by more
// than any rounding of the sums can reach is skipped; every other table gets
// its exact log-probability.
//
// Trimming. A visitor that does not screen each table (options B and C) has
// no use for the improbable tables beyond a lower bound; along a run the sum
// is convex, so they lie at the run's ends, and are trimmed off on their
// estimates, two a step, before the rest of the run is walked.
//
// End runs. The runs' least sums are convex in x1 (enumeration_block_shape.h),
// so the runs of a block that lie wholly beyond that lower bound are at its
// two ends: each is judged on its least, from each end inward, and the rest
// of the block is walked.
//
// Stretches (option A). The least sum of a block is convex in the third-last
// cell, and that of a run in x1. Where the greatest of the whole loop, or of
// the block, is inside a no-op range, a judged block or run inside that range
// settles the ones around it: past the turn of the least, all that follow;
// before it, all up to the last one found inside with its least still
// falling.
#pragma once

#include <cstddef>
#include <type_traits>

#include "engine/enumeration_block_shape.h"

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
// held terms' sum, is above `bound` are taken off: from `first` to `last`,
// none when first > last (then `before` holds all the block's tables).
// `before` and `after` count the tables of the runs taken off at each end.
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

template <int R, int C>
template <class Visitor, class Progress>
[[gnu::always_inline]] inline bool Kernel<R, C>::thirdLastLoop(Progress& progress, Visitor& visitor,
                                                               Counter& counter,
                                                               SubtreeSkipper* skipper) {
  static_assert(kM >= 3);
  constexpr int h = R - 1;
  constexpr int p0 = kM - 3;  // the third-last cell; the block's cells follow
  constexpr int row0 = p0 % h, col0 = p0 / h;
  constexpr int row1 = (p0 + 1) % h, col1 = (p0 + 1) / h;
  constexpr int col2 = (p0 + 2) / h;
  int32_t* cell = cell_.data();
  const int32_t* rowRest = rowRest_.data();
  const int32_t* rowMargin = rowMargin_.data();
  const int32_t* colMargin = colMargin_.data();
  const int32_t* colSuffix = colSuffix_.data();
  const double* lf = logFactorial_;
  const int32_t colRest0 = colRest_.data()[p0];
  const int32_t rowRest0 = rowRest[p0];
  const int32_t rest0 = rest_.data()[p0];
  const int32_t high0 = high_.data()[p0];
  const double before0 = interiorSumBefore(p0);
  // rowRest of the block's cell p0 + k (k = 1, 2) when the cell to its left
  // is held.
  int32_t heldRowRest[3] = {};
  if constexpr (col1 > 0 && h > 1) heldRowRest[1] = rowRest[p0 + 1 - h] - cell[p0 + 1 - h];
  if constexpr (col2 > 0 && h > 2) heldRowRest[2] = rowRest[p0 + 2 - h] - cell[p0 + 2 - h];
  // rowRest of cell p0 + k for a given x0: its row's margin in the first
  // column; else what the cell to its left leaves, which is x0's cell itself
  // when the column holds k interior rows.
  auto blockRowRest = [&](auto position, int32_t x0) {
    constexpr int k = decltype(position)::value;
    constexpr int row = (p0 + k) % h, col = (p0 + k) / h;
    if constexpr (col == 0) {
      return rowMargin[row];
    } else if constexpr (h == k) {
      return rowRest0 - x0;
    } else {
      return heldRowRest[k];
    }
  };

  // The start of x0's block, from formulas in x0.
  auto startOf = [&](int32_t x0) {
    BlockStart b;
    b.before = addInteriorCell(before0, lf[x0]);
    if constexpr (row1 == 0) {
      b.colRest1 = colMargin[col1];
      b.rest1 = colSuffix[col1];
    } else {
      b.colRest1 = colRest0 - x0;
      b.rest1 = rest0 - rowRest0;
    }
    b.rowRest1 = blockRowRest(std::integral_constant<int, 1>{}, x0);
    if constexpr (R >= 3) {
      b.u0 = b.colRest1;
      b.fixed = blockRowRest(std::integral_constant<int, 2>{}, x0);
      b.rest2 = b.rest1 - b.rowRest1;
    } else {
      b.u0 = b.rowRest1;
      b.fixed = colMargin[C - 2];
      b.rest2 = colSuffix[C - 2];
    }
    return b;
  };

  // Sets x0's own derived cells, which the blocks add as held ones.
  auto setDerived = [&](int32_t x0) {
    if constexpr (row0 == h - 1) rowLog_.data()[col0] = splat(lf[colRest0 - x0]);
    if constexpr (col0 == C - 2) colLog_.data()[row0] = splat(lf[rowRest0 - x0]);
  };

  // The blocks' least sum is convex in x0 (enumeration_block_shape.h), which
  // lets runs of blocks go at once once one block is inside a no-op range and
  // so is the greatest of the whole loop:
  //  - when the least has risen from the block before, no later block's least
  //    is below this one's: the rest of the loop is skipped;
  //  - when it is still falling, every block up to a z whose least is inside
  //    and still falls to z + 1 is skipped; such a z is sought by doubling
  //    steps, then halving.
  // Only for a visitor that screens each table (option A). For options B and
  // C a search, two descents per probe, cost more than the blocks it skipped
  // (the band of 4 x 4 with every marginal 20: 8 % more instructions).
  constexpr bool kSkipsRuns = kHasNoOpRanges<Visitor> && screensEachTable<Visitor>();
  const double slack = blockSlack();
  // The least of the block before, from below and above, when it was judged.
  BlockVerdict last;
  double loopGreatest = -1.0;  // not yet bounded
  auto greatestOfLoop = [&] {
    if (loopGreatest < 0.0) {
      loopGreatest = subtreeRange(p0 - 1, logSum_.data()[p0 - 1], *skipper).greatest;
    }
    return loopGreatest;
  };
  // The least of x0's block, widened down and up.
  auto leastOf = [&](int32_t x0) {
    setDerived(x0);
    const BlockStart b = startOf(x0);
    const double sum = heldSumFrom(b.before) + shapeOf(b).least(lf);
    return BlockVerdict{true, false, sum * (1.0 - slack), sum * (1.0 + slack)};
  };
  // The tables of the blocks of x0 = from .. to.
  auto tablesOf = [&](int32_t from, int32_t to) {
    uint64_t n = 0;
    for (int32_t x0 = from; x0 <= to; ++x0) n += shapeOf(startOf(x0)).tables();
    return n;
  };
  for (int32_t x0 = cell[p0];; ++x0) {
    cell[p0] = x0;
    setDerived(x0);
    BlockVerdict verdict;
    if (!block(startOf(x0), progress, visitor, counter, kSkipsRuns ? &verdict : nullptr))
      return false;
    if (x0 == high0) return true;
    if constexpr (kSkipsRuns) {
      // Tried where enough blocks are left for a stretch to pay for the
      // loop's greatest, and as the back-off allows.
      if (skipper != nullptr && verdict.skipped && last.judged &&
          high0 - x0 >= kStretchLoopBlocks && stretchBackOff_.due()) {
        const Screen screen = screenOf(visitor);
        bool skipped = false;
        if (!screen.mayCover(verdict.leastBelow)) {
          // Inside only through its greatest: nothing to carry over.
        } else if (verdict.leastBelow > last.leastAbove) {
          if (screen.covers(verdict.leastBelow, greatestOfLoop())) {
            stretchBackOff_.record(true);
            countUnvisited(progress, counter, tablesOf(x0 + 1, high0));
            cell[p0] = high0;
            return true;
          }
        } else if (verdict.leastAbove < last.leastBelow) {
          auto skippable = [&](int32_t z) {
            const BlockVerdict at = leastOf(z);
            return screen.covers(at.leastBelow, greatestOfLoop()) &&
                   at.leastBelow > leastOf(z + 1).leastAbove;
          };
          const int32_t good = endOfStretch(x0, high0, skippable);
          if (good > x0) {
            countUnvisited(progress, counter, tablesOf(x0 + 1, good));
            x0 = good;
            verdict = leastOf(good);
            skipped = true;
          }
        }
        stretchBackOff_.record(skipped);
      }
      last = verdict;
    }
  }
}

template <int R, int C>
template <class Visitor, class Progress>
[[gnu::always_inline]] inline bool Kernel<R, C>::block(const BlockStart& start, Progress& progress,
                                                       Visitor& visitor, Counter& counterOut,
                                                       BlockVerdict* verdict) {
  // The count lives in registers while the block runs; exp() and the like
  // called by the visitor would otherwise force it through memory per table.
  Counter counter = counterOut;
  auto leave = [&](bool completed) {
    counterOut = counter;
    return completed;
  };
  constexpr bool kLog = Visitor::kNeedsLogProb;
  const int r = rows();
  const int32_t colRest1 = start.colRest1;
  const int32_t rowRest1 = start.rowRest1;
  const int32_t rest1 = start.rest1;
  const int32_t u0 = start.u0;
  const int32_t fixed = start.fixed;
  const int32_t rest2 = start.rest2;
  const int32_t lo1 = cellLow(colRest1, rowRest1, rest1);
  const int32_t hi1 = cellHigh(colRest1, rowRest1);

  if constexpr (!kLog) {
    for (int32_t x1 = lo1; x1 <= hi1; ++x1) {
      const int32_t ux = u0 - x1;
      const int32_t lo = cellLow(ux, fixed, rest2);
      const int32_t hi = cellHigh(ux, fixed);
      const uint64_t n = static_cast<uint64_t>(hi - lo + 1);
      if (counter.count + n < counter.markAt) {
        // No progress mark in this run.
        for (int32_t x = lo; x <= hi; ++x) {
          if (!visitor.visit(0.0, Table(*this, x1, x))) {
            counter.count += static_cast<uint64_t>(x - lo + 1);
            return leave(false);
          }
        }
        counter.count += n;
      } else {
        for (int32_t x = lo; x <= hi; ++x) {
          tick(progress, counter);
          if (!visitor.visit(0.0, Table(*this, x1, x))) return leave(false);
        }
      }
    }
    return leave(true);
  } else {
    // 64-bit copies of what indexes ln(x!), so that no index is widened per table.
    using Index = std::ptrdiff_t;
    const Index colRest1L = colRest1, rowRest1L = rowRest1, fixedL = fixed;
    const Index lo1L = lo1, hi1L = hi1;
    const double* lf = logFactorial_;
    const HeldTerms held = heldTerms();
    const bool oneInteriorRow = r < 3;
    const double marginConst = logMarginConst_;
    const double before = start.before;
    // The corner closes the 2 x 2 sub-table of total rest2 that x sits in.
    const Index cornerBase = r >= 3 ? rest2 - fixed - colRest1 : rest2 - rowRest1 - fixed;

    // A visitor with no-op ranges lets the block be skipped when the sums of
    // ln(x!) are clearly inside one of them.
    constexpr bool kScreens = kHasNoOpRanges<Visitor>;
    constexpr bool kScreensEachTable = kScreens && screensEachTable<Visitor>();
    Screen screen{};
    bool screensBlocks = false;
    if constexpr (kScreens) screensBlocks = kScreensEachTable || bounded_;
    // Made where a check or the tables need it (it costs a few divisions,
    // and most blocks of a pass that does not screen single tables are
    // walked unchecked).
    bool screenMade = false;
    auto madeScreen = [&]() -> const Screen& {
      if (!screenMade) {
        if constexpr (kScreens) screen = screenOf(visitor);
        screenMade = true;
      }
      return screen;
    };
    if constexpr (kScreensEachTable) madeScreen();
    // The polygon, with the sums over it.
    const BlockShape shape = shapeOf(start);
    // (No x1 has more than fixed + 1 tables: most small blocks are known
    // small before they are counted. The count itself, a few multiplications,
    // is made only where the back-off lets the block be checked: in Fisher's
    // pass on 4 x 4 with every marginal 12, counting every block cost 3 % of
    // the pass.)
    auto mayBeLarge = [&] {
      return static_cast<uint64_t>(hi1L - lo1L + 1) * static_cast<uint64_t>(fixedL + 1) >=
             kUnscreenedBlockCheckTables;
    };
    const bool checksBlock =
        screensBlocks &&
        (!bounded_ || kScreensEachTable ||
         (mayBeLarge() && blockBackOff_.due() && shape.tables() >= kUnscreenedBlockCheckTables));
    double blockGreatest = kLargestLog;
    const double heldSum = checksBlock ? heldSumFrom(before) : 0.0;
    // The terms' greatest, a bound from above for the exact check too.
    double termsGreatest = kLargestLog;
    if (checksBlock) {
      // The whole block at once, first from each term's range (it settles
      // most blocks far from the bounds), then from the exact range.
      const SumSpan terms = shape.termRange(lf);
      termsGreatest = heldSum + terms.greatest;
      if (madeScreen().covers(heldSum + terms.least, termsGreatest)) {
        if (bounded_) blockBackOff_.record(true);
        countUnvisited(progress, counter, shape.tables());
        return leave(true);
      }
    }
    if (checksBlock && bounded_) {
      // Both ends are estimates of real tables' sums, widened for their own
      // order of additions and for a descent that rounding stopped early.
      // The exact greatest is sought only where the exact least with the
      // terms' greatest does not settle the block (a range open above needs
      // no greatest).
      const double slack = blockSlack();
      const double leastSum = heldSum + shape.least(lf);
      const double least = leastSum * (1.0 - slack);
      bool inside = madeScreen().covers(least, termsGreatest);
      double greatest = termsGreatest;
      // Where the condition has a lower bound the greatest is sought as its
      // own back-off allows: there the block's least settles most blocks (in
      // the band of 4 x 4 with every marginal 20, seeking the greatest of
      // every block cost 3 % more of the pass than backing it off).
      const bool greatestBacksOff = !kScreensEachTable && improbableRange_ >= 0;
      if (!inside && (!greatestBacksOff || greatestBackOff_.due())) {
        greatest = (heldSum + shape.greatest(lf)) * (1.0 + slack);
        inside = screen.covers(least, greatest);
        if (greatestBacksOff) greatestBackOff_.record(inside);
      }
      blockBackOff_.record(inside);
      blockGreatest = greatest;
      if (verdict != nullptr) *verdict = {true, inside, least, leastSum * (1.0 + slack)};
      if (inside) {
        countUnvisited(progress, counter, shape.tables());
        return leave(true);
      }
    }

    // Runs of x of two tables or more: nested loops, two tables a step.
    // Single tables: the flat walk.
    // (No run is longer than fixed + 1; the middle one stands for the rest.)
    const Index mid = (lo1L + hi1L) / 2;
    if (fixedL >= kNestedRunLength - 1 &&
        shape.xHigh(mid) - shape.xLow(mid) + 1 >= kNestedRunLength) {
      // The runs' least sums are convex in x1 (enumeration_block_shape.h):
      // once they have risen from one judged run to the next, no later run's
      // least is below the last one's. When that run is inside a no-op range
      // and the block's greatest is too, the rest of the block is skipped.
      const double runSlack = blockSlack();
      // The no-op range that runs are trimmed to, or -1.
      const int improbable = improbableRange_;
      // The runs walked: all of them, unless those at the block's ends are
      // wholly improbable (below).
      Index firstRun = lo1L;
      Index lastRun = hi1L;
      uint64_t tablesAfter = 0;  // those of the runs after lastRun
      if constexpr (kScreens && !kScreensEachTable) {
        // The runs' least sums are convex in x1, so the runs whose every
        // table is beyond the improbable range's bound lie at the block's
        // ends. Each is judged on its least alone, at its turn (a range open
        // above needs no greatest), from each end inward up to the first
        // run that is not: a check costs less than trimming the run away.
        if (improbable >= 0 && endRunsBackOff_.due()) {
          const double bound = madeScreen().ranges[improbable].low;
          const double heldPart = checksBlock ? heldSum : heldSumFrom(before);
          const EndRuns runs = runsNotBeyond(shape, lf, heldPart, bound);
          firstRun = runs.first;
          lastRun = runs.last;
          tablesAfter = runs.after;
          endRunsBackOff_.record(firstRun > lo1L || lastRun < hi1L);
          if (runs.before > 0) countUnvisited(progress, counter, runs.before);
          if (firstRun > lastRun) return leave(true);
        }
      }
      // The least of the run before, from below and above, when it was judged.
      double lastRunLeastBelow = -kLargestLog;
      double lastRunLeastAbove = kLargestLog;
      for (Index x1 = firstRun; x1 <= lastRun; ++x1) {
        const Index lo = shape.xLow(x1);
        const Index hi = shape.xHigh(x1);
        const double before1 = addInteriorCell(before, lf[x1]);
        // The last-row cell below x is u - x, the last-column cell beside it
        // v - x, the corner w + x. x1's own derived cell (beside it, or below
        // it with one interior row) is fixed along the run: `slot`.
        Index u, v;
        double slot;
        if (r >= 3) {
          slot = lf[rowRest1L - x1];
          u = colRest1L - x1;
          v = fixedL;
        } else {
          slot = lf[colRest1L - x1];
          u = fixedL;
          v = rowRest1L - x1;
        }
        const Index w = cornerBase + x1;
        // The sum of table x, or of tables x and x + 1 in the two lanes:
        // `rising` reads ln(i!) (and ln((i+1)!)), `falling` ln(i!) (and
        // ln((i-1)!)) for a cell that falls as x rises.
        auto sumOf = [&](Index x, auto rising, auto falling, auto slotTerm) {
          using Sum = decltype(rising(x));
          Sum interior;
          if constexpr (std::is_same_v<Sum, double>) {
            interior = addInteriorCell(before1, rising(x));
          } else {
            interior = addInteriorCell(splat(before1), rising(x));
          }
          return sumInTableOrder<kHeldRowTerms, kHeldColTerms>(
              interior, held, oneInteriorRow,
              BlockTerms<Sum>{slotTerm, falling(u - x), falling(v - x), rising(w + x)});
        };
        // The terms that stay fixed along the run (the moving ones as 0), and
        // the estimate of a table's sum for the screen: the same terms with
        // the fixed ones added first.
        // (Only where they are used: short runs are the common case.)
        const bool checksRun = kScreensEachTable && bounded_ && hi - lo + 1 >= kRunCheckLength;
        double fixedTerms = 0.0;
        auto sumFixedTerms = [&] {
          fixedTerms = sumInTableOrder<kHeldRowTerms, kHeldColTerms>(
              before1, held, oneInteriorRow, BlockTerms<double>{slot, 0.0, 0.0, 0.0});
        };
        if constexpr (kScreensEachTable) sumFixedTerms();
        // The whole run at once. Along it the sum is fixedTerms + g(x), with
        // g(x) = ln x! + ln (u-x)! + ln (v-x)! + ln (w+x)! convex in x: it is
        // greatest at an end of the run and least at the first x where
        // g(x+1) >= g(x), that is (x+1)(w+x+1) >= (u-x)(v-x), or
        // x >= (uv - w - 1) / (u + v + w + 2). Both are estimates of real
        // tables' sums, which the screen's margin covers.
        if (checksRun) {
          auto g = [&](Index x) { return lf[x] + lf[u - x] + lf[v - x] + lf[w + x]; };
          const Index turn = ceilDiv(u * v - w - 1, u + v + w + 2);
          const double least = fixedTerms + g(std::clamp(turn, lo, hi));
          // (The block's greatest, when it was sought, often settles the run.)
          bool inside = madeScreen().covers(least, blockGreatest);
          double greatest = blockGreatest;
          if (!inside) {
            greatest = fixedTerms + std::max(g(lo), g(hi));
            inside = screen.covers(least, greatest);
          }
          const double leastBelow = least * (1.0 - runSlack);
          if (inside && leastBelow > lastRunLeastAbove &&
              screen.covers(leastBelow, blockGreatest)) {
            countUnvisited(progress, counter, shape.tables(x1, hi1L));
            return leave(true);
          }
          const double leastAbove = least * (1.0 + runSlack);
          if (inside && leastAbove < lastRunLeastBelow && x1 + 1 < hi1L &&
              blockGreatest < kLargestLog) {
            // Still falling: the runs up to the last one found inside with its
            // least still falling go with this one (their sums are read with
            // the block's held terms, which blockGreatest implies are summed).
            auto leastOf = [&](Index z) { return heldSum + shape.runLeast(lf, z); };
            auto skippable = [&](Index z) {
              const double below = leastOf(z) * (1.0 - runSlack);
              return screen.covers(below, blockGreatest) &&
                     below > leastOf(z + 1) * (1.0 + runSlack);
            };
            const Index good = endOfStretch(x1, hi1L, skippable);
            countUnvisited(progress, counter, shape.tables(x1, good));
            const double goodLeast = good > x1 ? leastOf(good) : least;
            lastRunLeastBelow = goodLeast * (1.0 - runSlack);
            lastRunLeastAbove = goodLeast * (1.0 + runSlack);
            x1 = good;
            continue;
          }
          lastRunLeastBelow = leastBelow;
          lastRunLeastAbove = leastAbove;
          if (inside) {
            countUnvisited(progress, counter, static_cast<uint64_t>(hi - lo + 1));
            continue;
          }
        } else {
          lastRunLeastBelow = -kLargestLog;
          lastRunLeastAbove = kLargestLog;
        }
        auto estimate = [&] { return RunEstimate{lf, fixedTerms, u, v, w}; };
        auto one = [lf](Index i) { return lf[i]; };
        auto risingPair = [lf](Index i) { return loadPair(lf + i); };
        auto fallingPair = [lf](Index i) { return loadPairReversed(lf + (i - 1)); };
        // The tables from walkFrom to walkTo are walked; those before and
        // after are inside a no-op range, each on its own estimate.
        Index walkFrom = lo;
        Index walkTo = hi;
        if constexpr (kScreens && !kScreensEachTable) {
          // The improbable tables of a run that may meet the condition lie
          // at its ends, where its convex sum is greatest: where the visitor
          // has no use for them, they are trimmed off on their estimates,
          // two a step (cheaper than a visit, and no exp()). On the probable
          // side there is nothing to gain: those tables lie mid-run.
          if (improbable >= 0 && hi - lo + 1 >= kTrimmedRunLength && trimBackOff_.due()) {
            sumFixedTerms();
            // The range is open above: no sum reaches its high end.
            const SumRange& trim = madeScreen().ranges[improbable];
            RXC_DEBUG_ASSERT(trim.high > 0x1p1000);
            const RunSpan left = trimmedRun(estimate(), lo, hi, trim.low);
            walkFrom = left.first;
            walkTo = left.last;
            trimBackOff_.record(walkFrom > lo || walkTo < hi);
            if (walkFrom > lo)
              countUnvisited(progress, counter, static_cast<uint64_t>(walkFrom - lo));
          }
        }
        const DoublePair slotPair = splat(slot);
        Index x = walkFrom;
        // Tables x and x + 1 together; every index read stays within the
        // cells of one of the two.
        for (; x < walkTo; x += 2) {
          if constexpr (kScreensEachTable) {
            const DoublePair sum = estimate().pairAt(x);
            const SumRange& range = screen.ranges[0];
            const auto skipped = (sum > range.low) & (sum < range.high);
            if (skipped[0] & skipped[1]) {
              tickTwo(progress, counter);
              continue;
            }
          }
          const DoublePair logProb = marginConst - sumOf(x, risingPair, fallingPair, slotPair);
          const Table first(*this, static_cast<int32_t>(x1), static_cast<int32_t>(x));
          const Table second(*this, static_cast<int32_t>(x1), static_cast<int32_t>(x + 1));
          if constexpr (requires { visitor.visitPair(logProb, first, second); }) {
            // A visitor that takes two tables at once never stops a pass.
            tickTwo(progress, counter);
            visitor.visitPair(logProb, first, second);
          } else {
            tick(progress, counter);
            if (!visitor.visit(logProb[0], first)) return leave(false);
            tick(progress, counter);
            if (!visitor.visit(logProb[1], second)) return leave(false);
          }
          if constexpr (kScreensEachTable) screen = screenOf(visitor);
        }
        if (x == walkTo) {
          tick(progress, counter);
          bool skipped = false;
          if constexpr (kScreensEachTable) {
            const double sum = estimate().at(x);
            skipped = sum > screen.ranges[0].low && sum < screen.ranges[0].high;
          }
          if (!skipped) {
            const double logProb = marginConst - sumOf(x, one, one, slot);
            if (!visitor.visit(logProb,
                               Table(*this, static_cast<int32_t>(x1), static_cast<int32_t>(x))))
              return leave(false);
            if constexpr (kScreensEachTable) screen = screenOf(visitor);
          }
        }
        if (walkTo < hi) countUnvisited(progress, counter, static_cast<uint64_t>(hi - walkTo));
      }
      if (tablesAfter > 0) countUnvisited(progress, counter, tablesAfter);
      return leave(true);
    }

    // The flat walk. ln(x!) tables shifted so that each derived cell is one
    // index away: with y = x1 + x, two or more interior rows read
    // colRest1 - y, rowRest1 - x1, fixed - x; one interior row reads
    // colRest1 - x1, fixed - x, rowRest1 - y.
    const double* lfColRest1 = lf + colRest1;
    const double* lfRowRest1 = lf + rowRest1;
    const double* lfFixed = lf + fixed;
    const double* lfCorner = lf + cornerBase;
    Index x1 = lo1L;
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
      const BlockTerms<double> t =
          r >= 3 ? BlockTerms<double>{lfRowRest1[-x1], lfColRest1[-y], lfFixed[-x], lfCorner[y]}
                 : BlockTerms<double>{lfColRest1[-x1], lfFixed[-x], lfRowRest1[-y], lfCorner[y]};
      const double s =
          sumInTableOrder<kHeldRowTerms, kHeldColTerms>(interior, held, oneInteriorRow, t);
      if (!visitor.visit(marginConst - s,
                         Table(*this, static_cast<int32_t>(x1), static_cast<int32_t>(x))))
        return leave(false);
      // Next (x1, x) without a branch: x wraps to its new low when it passes
      // its high, and x1 moves on.
      // (A select written as a mask: compilers turn the plain conditional
      // into a jump, which mispredicts at every end of a short run.)
      const Index wrap = x == hi ? 1 : 0;
      const Index mask = -wrap;
      x = (nextLo & mask) | ((x + 1) & ~mask);
      hi = (nextHi & mask) | (hi & ~mask);
      x1 += wrap;
      if (x1 > hi1L) return leave(true);
      nextLo = shape.xLow(x1 + 1);
      nextHi = shape.xHigh(x1 + 1);
    }
  }
}

}  // namespace rxc::enumeration_detail
