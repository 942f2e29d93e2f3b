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
#pragma once

#include <cstddef>
#include <type_traits>

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
  const int32_t lo = std::max<int32_t>(0, cm0 + rm0 - colSuffix_.data()[0]);
  const int32_t hi = std::min(cm0, rm0);
  const HeldTerms none{nullptr, 0, nullptr, 0};
  for (int32_t x = lo; x <= hi; ++x) {
    tick(progress, counter);
    double logProb = 0.0;
    if constexpr (Visitor::kNeedsLogProb) {
      // One interior row and no held cell: x, below it, beside it, the corner.
      const BlockTerms<double> t{0.0, lf[cm0 - x], lf[rm0 - x], lf[cornerBase + x]};
      logProb = logMarginConst_ - sumInTableOrder<0, 0>(0.0 + lf[x], none, true, t);
    }
    if (!visitor.visit(logProb, Table(*this, 0, x))) return false;
  }
  return true;
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
  b.before = p1 == 0 ? 0.0 : logSum_.data()[p1 - 1];
  return b;
}

template <int R, int C>
template <class Visitor, class Progress>
[[gnu::always_inline]] inline bool Kernel<R, C>::thirdLastLoop(Progress& progress, Visitor& visitor,
                                                               Counter& counter) {
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
  const double before0 = p0 == 0 ? 0.0 : logSum_.data()[p0 - 1];
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

  for (int32_t x0 = cell[p0];; ++x0) {
    cell[p0] = x0;
    // The derived cells fixed by x0, for the block to add as held ones.
    if constexpr (row0 == h - 1) rowLog_.data()[col0] = splat(lf[colRest0 - x0]);
    if constexpr (col0 == C - 2) colLog_.data()[row0] = splat(lf[rowRest0 - x0]);
    BlockStart b;
    b.before = before0 + lf[x0];
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
    if (!block(b, progress, visitor, counter)) return false;
    if (x0 == high0) return true;
  }
}

template <int R, int C>
template <class Visitor, class Progress>
[[gnu::always_inline]] inline bool Kernel<R, C>::block(const BlockStart& start, Progress& progress,
                                                       Visitor& visitor, Counter& counterOut) {
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
  const int32_t lo1 = std::max<int32_t>(0, colRest1 + rowRest1 - rest1);
  const int32_t hi1 = std::min(colRest1, rowRest1);

  if constexpr (!kLog) {
    for (int32_t x1 = lo1; x1 <= hi1; ++x1) {
      const int32_t ux = u0 - x1;
      const int32_t lo = std::max<int32_t>(0, ux + fixed - rest2);
      const int32_t hi = std::min(ux, fixed);
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
    const Index u0L = u0, lo1L = lo1, hi1L = hi1;
    // low of x = max(0, lowBase - x1), high of x = min(u0 - x1, fixed)
    const Index lowBase = Index{u0} + fixed - rest2;
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
    // The block's tables, counted for a block that is skipped: the sum over
    // x1 of min(u0 - x1, fixed) - max(0, lowBase - x1) + 1, each term linear
    // in x1 on either side of its one bend.
    auto blockTables = [&] {
      // x1 + ... over x1 in [a, b] (nothing when a > b).
      auto sumOfX1 = [](Index a, Index b) { return a > b ? 0 : (a + b) * (b - a + 1) / 2; };
      auto countOf = [](Index a, Index b) { return a > b ? 0 : b - a + 1; };
      // min(u0 - x1, fixed): fixed up to x1 = u0 - fixed, then u0 - x1.
      const Index bendHigh = u0L - fixedL;
      const Index highs = fixedL * countOf(lo1L, std::min(hi1L, bendHigh)) +
                          u0L * countOf(std::max(lo1L, bendHigh + 1), hi1L) -
                          sumOfX1(std::max(lo1L, bendHigh + 1), hi1L);
      // max(0, lowBase - x1): lowBase - x1 up to x1 = lowBase, then 0.
      const Index lows =
          lowBase * countOf(lo1L, std::min(hi1L, lowBase)) - sumOfX1(lo1L, std::min(hi1L, lowBase));
      return static_cast<uint64_t>(highs - lows + countOf(lo1L, hi1L));
    };
    // The derived cells k1 - x1 and kY - y (which margin each takes away from
    // depends on the shape), and the held terms every table of the block adds.
    const Index k1 = r >= 3 ? rowRest1L : colRest1L;
    const Index kY = r >= 3 ? colRest1L : rowRest1L;
    // (No x1 has more than fixed + 1 tables: most small blocks are known
    // small before they are counted.)
    auto largeBlock = [&] {
      return static_cast<uint64_t>(hi1L - lo1L + 1) * static_cast<uint64_t>(fixedL + 1) >=
                 kUnscreenedBlockCheckTables &&
             blockTables() >= kUnscreenedBlockCheckTables;
    };
    const bool checksBlock = screensBlocks && (!bounded_ || kScreensEachTable ||
                                               (largeBlock() && blockBackOff_.due(false)));
    double heldSum = 0.0;
    if (checksBlock) {
      heldSum = addInOrder<kHeldRowTerms>(before, held.lastRow, held.lastRowCount);
      if (r >= 3) heldSum = addInOrder<kHeldColTerms>(heldSum, held.lastCol, held.lastColCount);
    }
    if (checksBlock) {
      // The whole block at once: every term's range over the block gives
      // bounds on every table's sum. ln(k!) does not fall as k rises, so each
      // term is least and greatest at the ends of its argument's range: x1 in
      // [lo1, hi1], x in [xMin, xMax], y = x1 + x in [yMin, yMax]. Loose, but
      // a dozen reads: it settles most blocks far from the bounds before the
      // exact range below is sought.
      const Index xMin = std::max<Index>(0, lowBase - hi1L);
      const Index xMax = std::min(u0L - lo1L, fixedL);
      const Index yMin = std::max(lo1L, lowBase);
      const Index yMax = std::min(u0L, hi1L + fixedL);
      const double least = heldSum + lf[lo1L] + lf[xMin] + lf[kY - yMax] + lf[k1 - hi1L] +
                           lf[fixedL - xMax] + lf[cornerBase + yMin];
      const double greatest = heldSum + lf[hi1L] + lf[xMax] + lf[kY - yMin] + lf[k1 - lo1L] +
                              lf[fixedL - xMin] + lf[cornerBase + yMax];
      if (madeScreen().covers(least, greatest)) {
        if (bounded_) blockBackOff_.record(true);
        countUnvisited(progress, counter, blockTables());
        return leave(true);
      }
    }
    if (checksBlock && bounded_) {
      // The block's exact range. A table's sum is heldSum + ln x1! +
      // ln (k1-x1)! + g(x1, x), where g adds the cells x, u - x, v - x and
      // w + x (u, v, w affine in x1), and the sum is convex in (x1, x) over
      // the block's polygon: x1 in [lo1, hi1], x between max(0, lowBase - x1)
      // and min(u0 - x1, fixed). Its greatest value is at a vertex; for each
      // x1 its least is at the turn of g in x (see the runs below), and that
      // least is convex in x1 again, so a descent from the sub-table's
      // independence point finds the block's least. Both are estimates of
      // real tables' sums, widened for a descent that rounding stopped early.
      auto xLow = [&](Index x1) { return std::max<Index>(0, lowBase - x1); };
      auto xHigh = [&](Index x1) { return std::min(u0L - x1, fixedL); };
      auto sumAt = [&](Index x1, Index x) {
        const Index u = r >= 3 ? colRest1L - x1 : fixedL;
        const Index v = r >= 3 ? fixedL : rowRest1L - x1;
        const Index w = cornerBase + x1;
        return heldSum + lf[x1] + lf[k1 - x1] + lf[x] + lf[u - x] + lf[v - x] + lf[w + x];
      };
      auto leastAt = [&](Index x1) {
        const Index u = r >= 3 ? colRest1L - x1 : fixedL;
        const Index v = r >= 3 ? fixedL : rowRest1L - x1;
        const Index w = cornerBase + x1;
        return sumAt(x1, std::clamp(ceilDiv(u * v - w - 1, u + v + w + 2), xLow(x1), xHigh(x1)));
      };
      double greatest = 0.0;
      for (const Index corner : {lo1L, hi1L, lowBase, u0L - fixedL}) {
        const Index x1 = std::clamp(corner, lo1L, hi1L);
        greatest = std::max({greatest, sumAt(x1, xLow(x1)), sumAt(x1, xHigh(x1))});
      }
      Index x1 = rest1 > 0 ? (Index{rowRest1} * colRest1 + rest1 / 2) / rest1 : lo1L;
      x1 = std::clamp(x1, lo1L, hi1L);
      double least = leastAt(x1);
      const int step = x1 < hi1L && leastAt(x1 + 1) < least ? 1 : -1;
      for (Index next = x1 + step; next >= lo1L && next <= hi1L; next += step) {
        const double value = leastAt(next);
        if (!(value < least)) break;
        least = value;
      }
      const double slack = 4.0 * (static_cast<double>(r * cols()) + 2.0) * 0x1p-53;
      const bool inside = madeScreen().covers(least * (1.0 - slack), greatest * (1.0 + slack));
      blockBackOff_.record(inside);
      if (inside) {
        countUnvisited(progress, counter, blockTables());
        return leave(true);
      }
    }

    // Runs of x of two tables or more: nested loops, two tables a step.
    // Single tables: the flat walk.
    // (No run is longer than fixed + 1; the middle one stands for the rest.)
    const Index mid = (lo1L + hi1L) / 2;
    if (fixedL >= kNestedRunLength - 1 &&
        std::min(u0L - mid, fixedL) - std::max<Index>(0, lowBase - mid) + 1 >= kNestedRunLength) {
      for (Index x1 = lo1L; x1 <= hi1L; ++x1) {
        const Index lo = std::max<Index>(0, lowBase - x1);
        const Index hi = std::min(u0L - x1, fixedL);
        const double before1 = before + lf[x1];
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
            interior = before1 + rising(x);
          } else {
            interior = splat(before1) + rising(x);
          }
          return sumInTableOrder<kHeldRowTerms, kHeldColTerms>(
              interior, held, oneInteriorRow,
              BlockTerms<Sum>{slotTerm, falling(u - x), falling(v - x), rising(w + x)});
        };
        // The terms that stay fixed along the run (the moving ones as 0), and
        // the estimate of a table's sum for the screen: the same terms with
        // the fixed ones added first.
        // (Only where they are used: short runs are the common case.)
        constexpr int kCheckedRun = kScreensEachTable ? kRunCheckLength : kUnscreenedRunCheckLength;
        const bool checksRun = bounded_ && screensBlocks && hi - lo + 1 >= kCheckedRun &&
                               runBackOff_.due(kScreensEachTable);
        double fixedTerms = 0.0;
        if (kScreensEachTable || checksRun) {
          fixedTerms = sumInTableOrder<kHeldRowTerms, kHeldColTerms>(
              before1, held, oneInteriorRow, BlockTerms<double>{slot, 0.0, 0.0, 0.0});
        }
        // The whole run at once. Along it the sum is fixedTerms + g(x), with
        // g(x) = ln x! + ln (u-x)! + ln (v-x)! + ln (w+x)! convex in x: it is
        // greatest at an end of the run and least at the first x where
        // g(x+1) >= g(x), that is (x+1)(w+x+1) >= (u-x)(v-x), or
        // x >= (uv - w - 1) / (u + v + w + 2). Both are estimates of real
        // tables' sums, which the screen's margin covers.
        // A run that only partly meets the no-op ranges has each of its
        // tables screened on its estimate, as a visitor that screens single
        // tables has them all.
        bool screensRunTables = false;
        if (checksRun) {
          auto g = [&](Index x) { return lf[x] + lf[u - x] + lf[v - x] + lf[w + x]; };
          const Index turn = ceilDiv(u * v - w - 1, u + v + w + 2);
          const double least = fixedTerms + g(std::clamp(turn, lo, hi));
          const double greatest = fixedTerms + std::max(g(lo), g(hi));
          const bool inside = madeScreen().covers(least, greatest);
          screensRunTables = !inside && screen.meets(least, greatest);
          runBackOff_.record(inside || screensRunTables);
          if (inside) {
            countUnvisited(progress, counter, static_cast<uint64_t>(hi - lo + 1));
            continue;
          }
        }
        auto estimate = [&](Index x, auto rising, auto falling) {
          return fixedTerms + rising(x) + falling(u - x) + falling(v - x) + rising(w + x);
        };
        auto one = [lf](Index i) { return lf[i]; };
        auto risingPair = [lf](Index i) { return loadPair(lf + i); };
        auto fallingPair = [lf](Index i) { return loadPairReversed(lf + (i - 1)); };
        const DoublePair slotPair = splat(slot);
        Index x = lo;
        // Tables x and x + 1 together; every index read stays within the
        // cells of one of the two.
        for (; x < hi; x += 2) {
          if constexpr (kScreensEachTable) {
            const DoublePair sum = estimate(x, risingPair, fallingPair);
            const SumRange& range = screen.ranges[0];
            const auto skipped = (sum > range.low) & (sum < range.high);
            if (skipped[0] & skipped[1]) {
              tickTwo(progress, counter);
              continue;
            }
          } else if (screensRunTables) {
            const auto skipped = screen.inside(estimate(x, risingPair, fallingPair));
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
        if (x == hi) {
          tick(progress, counter);
          if constexpr (kScreensEachTable) {
            const double sum = estimate(x, one, one);
            if (sum > screen.ranges[0].low && sum < screen.ranges[0].high) continue;
          } else if (screensRunTables) {
            if (screen.inside(estimate(x, one, one))) continue;
          }
          const double logProb = marginConst - sumOf(x, one, one, slot);
          if (!visitor.visit(logProb,
                             Table(*this, static_cast<int32_t>(x1), static_cast<int32_t>(x))))
            return leave(false);
          if constexpr (kScreensEachTable) screen = screenOf(visitor);
        }
      }
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
    Index x = std::max<Index>(0, lowBase - x1);
    Index hi = std::min(u0L - x1, fixedL);
    // Bounds of x for the next x1, ready before x reaches its high, so that
    // the step from one table to the next is a compare and two selects.
    Index nextLo = std::max<Index>(0, lowBase - x1 - 1);
    Index nextHi = std::min(u0L - x1 - 1, fixedL);
    for (;;) {
      tick(progress, counter);
      const Index y = x1 + x;
      const double interior = before + lf[x1] + lf[x];
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
      nextLo = std::max<Index>(0, lowBase - x1 - 1);
      nextHi = std::min(u0L - x1 - 1, fixedL);
    }
  }
}

}  // namespace rxc::enumeration_detail
