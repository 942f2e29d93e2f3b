// Part of engine/kernel/enumeration_kernel.h, included by it alone: the runs of x
// (x1 fixed) of a block whose runs hold two tables or more, walked by nested
// loops. Not a header of its own.
//
// The inner loop forms the log-probabilities of tables x and x + 1 side by
// side in the two lanes of a DoublePair (each lane adds the same terms in the
// same order as a lone table). Before a run is walked, a visitor with no-op
// ranges may have it judged whole, trimmed, or taken off the block's ends:
//  - a visitor that screens single tables (option A) has each run of a few
//    tables judged whole, and stretches of runs skipped at once; each table
//    of a run it walks is first estimated, the terms fixed along the run
//    added up front (four additions instead of all of them);
//  - one that does not (options B and C) has no use for the improbable tables
//    beyond a lower bound: the runs wholly beyond it are taken off the
//    block's ends, and the improbable ends of the others trimmed off on their
//    estimates, two a step. On the probable side (Fisher's rejected tables) a
//    check of a whole run costs more than walking it.
// Where each of these tables and runs lies follows from convexity
// (docs/rounding.md, section 4).
#pragma once

// Included alone (a tool, a reader), it brings the kernel it belongs to;
// the kernel's own include of this file is then skipped by #pragma once.
#include <algorithm>
#include <cstdint>
#include <type_traits>

#include "engine/kernel/enumeration_kernel.h"

namespace rxc::enumeration_detail {

template <int R, int C>
template <class Visitor, class Progress>
[[gnu::always_inline]] inline bool Kernel<R, C>::nestedRuns(const BlockShape& blockShape,
                                                            BlockWalk& walk, Progress& progress,
                                                            Visitor& visitor, Counter& counter) {
  using Index = BlockShape::Index;
  constexpr bool kScreens = kHasNoOpRanges<Visitor>;
  constexpr bool kScreensEachTable = kScreens && screensEachTable<Visitor>();
  // A copy in registers: the block's shape is in memory, where a visitor's
  // call would have it read again.
  const BlockShape shape = blockShape;
  // The runs walked: all of them, unless those at the block's ends are
  // wholly improbable.
  Index firstRun = shape.lo1;
  Index lastRun = shape.hi1;
  uint64_t tablesAfter = 0;  // those of the runs after lastRun
  if constexpr (kScreens && !kScreensEachTable) {
    if (improbableRange_ >= 0 && endRunsBackOff_.due()) {
      madeScreen(walk, visitor);
      const EndRuns runs = takeEndRuns(blockShape, walk, progress, visitor, counter);
      if (runs.first > runs.last) return true;
      firstRun = runs.first;
      lastRun = runs.last;
      tablesAfter = runs.after;
    }
  }
  RunTrail trail;
  for (Index x1 = firstRun; x1 <= lastRun; ++x1) {
    Run run = runOf(shape, walk, x1);
    if constexpr (kScreensEachTable) {
      run.fixedTerms = runFixedTerms(run);
      const RunVerdict verdict = judgeRun(shape, walk, run, trail, progress, visitor, counter, x1);
      if (verdict == RunVerdict::kRestSkipped) return true;
      if (verdict == RunVerdict::kSkipped) continue;
    }
    RunSpan walked{run.lo, run.hi};
    if constexpr (kScreens && !kScreensEachTable) {
      if (improbableRange_ >= 0 && run.hi - run.lo + 1 >= kTrimmedRunLength && trimBackOff_.due()) {
        walked = trimRun(walk, run, progress, visitor, counter);
      }
    }
    if (!walkRun(walk, run, walked.first, walked.last, progress, visitor, counter)) return false;
    if (walked.last < run.hi) {
      countUnvisited(progress, counter, static_cast<uint64_t>(run.hi - walked.last));
      auditSkip(visitor, m_ - 1, walked.last + 1, run.hi,
                static_cast<uint64_t>(run.hi - walked.last), x1);
    }
  }
  if (tablesAfter > 0) {
    countUnvisited(progress, counter, tablesAfter);
    auditSkip(visitor, m_ - 2, lastRun + 1, shape.hi1, tablesAfter);
  }
  return true;
}

// The end runs: the runs whose every table is beyond the improbable range's
// bound lie at the block's ends. Each is judged on its least alone, at its
// turn (a range open above needs no greatest), from each end inward up to the
// first run that is not: a check costs less than trimming the run away. The
// runs before the first one left are counted here, those after the last one
// by the caller, after its walk.
template <int R, int C>
template <class Visitor, class Progress>
[[gnu::always_inline]] inline EndRuns Kernel<R, C>::takeEndRuns(const BlockShape& shape,
                                                                BlockWalk& walk, Progress& progress,
                                                                const Visitor& visitor,
                                                                Counter& counter) {
  const double bound = walk.screen.ranges[improbableRange_].low;
  const double heldPart = walk.judged ? walk.heldSum : heldSumFrom(walk.before);
  const EndRuns runs = runsNotBeyond(shape, walk.lf, heldPart, bound);
  endRunsBackOff_.record(runs.first > shape.lo1 || runs.last < shape.hi1);
  if (runs.before > 0) {
    countUnvisited(progress, counter, runs.before);
    auditSkip(visitor, m_ - 2, shape.lo1, runs.first - 1, runs.before);
  }
  return runs;
}

template <int R, int C>
[[gnu::always_inline]] inline typename Kernel<R, C>::Run Kernel<R, C>::runOf(
    const BlockShape& shape, const BlockWalk& walk, BlockShape::Index x1) const {
  const double* lf = walk.lf;
  Run run;
  run.x1 = x1;
  run.lo = shape.xLow(x1);
  run.hi = shape.xHigh(x1);
  run.before1 = addInteriorCell(walk.before, lf[x1]);
  run.slot = lf[shape.k1 - x1];
  if (rows() >= 3) {
    run.u = shape.kY - x1;
    run.v = shape.fixed;
  } else {
    run.u = shape.fixed;
    run.v = shape.kY - x1;
  }
  run.w = shape.cornerBase + x1;
  run.fixedTerms = 0.0;
  return run;
}

template <int R, int C>
[[gnu::always_inline]] inline double Kernel<R, C>::runFixedTerms(const Run& run) const {
  return sumInTableOrder<kHeldRowTerms, kHeldColTerms>(run.before1, heldTerms(), rows() < 3,
                                                       BlockTerms<double>{run.slot, 0.0, 0.0, 0.0});
}

// Judging a run whole (a visitor that screens single tables). Along the run
// the sum is fixedTerms + g(x), g(x) = ln x! + ln (u-x)! + ln (v-x)! +
// ln (w+x)!, convex in x: greatest at an end of the run, least at its turn,
// the first x with (x+1)(w+x+1) >= (u-x)(v-x), or x >= (uv - w - 1) /
// (u + v + w + 2). Both are estimates of real tables' sums, which the
// screen's margin covers. The runs' leasts are convex in x1 (docs/rounding.md,
// section 4): once they have risen from one judged run to the next, no later
// run's least is below the last one's, and when that run is inside a no-op
// range with the block's greatest, the rest of the block is skipped; while
// they still fall, a stretch of runs may go with this one.
template <int R, int C>
template <class Visitor, class Progress>
[[gnu::always_inline]] inline typename Kernel<R, C>::RunVerdict Kernel<R, C>::judgeRun(
    const BlockShape& shape, BlockWalk& walk, const Run& run, RunTrail& trail, Progress& progress,
    const Visitor& visitor, Counter& counter, BlockShape::Index& x1) {
  using Index = BlockShape::Index;
  const Index lo = run.lo;
  const Index hi = run.hi;
  // (Only runs long enough: short runs are the common case.)
  if (!bounded_ || hi - lo + 1 < kRunCheckLength) {
    trail = RunTrail{};
    return RunVerdict::kWalk;
  }
  const double* lf = walk.lf;
  const Index u = run.u, v = run.v, w = run.w;
  auto g = [&](Index x) { return lf[x] + lf[u - x] + lf[v - x] + lf[w + x]; };
  const Index turn = ceilDiv(u * v - w - 1, u + v + w + 2);
  const double least = run.fixedTerms + g(std::clamp(turn, lo, hi));
  const double blockGreatest = walk.greatest;
  const Screen& screen = madeScreen(walk, visitor);
  // (The block's greatest, when it was sought, often settles the run.)
  bool inside = screen.covers(least, blockGreatest);
  if (!inside) inside = screen.covers(least, run.fixedTerms + std::max(g(lo), g(hi)));
  const double slack = blockSlack(rows() * cols());
  const double leastBelow = least * (1.0 - slack);
  if (inside && leastBelow > trail.leastAbove && screen.covers(leastBelow, blockGreatest)) {
    countUnvisited(progress, counter, shape.tables(x1, shape.hi1));
    auditSkip(visitor, m_ - 2, x1, shape.hi1, shape.tables(x1, shape.hi1));
    return RunVerdict::kRestSkipped;
  }
  const double leastAbove = least * (1.0 + slack);
  if (inside && leastAbove < trail.leastBelow && x1 + 1 < shape.hi1 &&
      blockGreatest < kLargestLog) {
    skipRunStretch(shape, walk, least, trail, progress, visitor, counter, x1);
    return RunVerdict::kSkipped;
  }
  trail = {leastBelow, leastAbove};
  if (inside) {
    countUnvisited(progress, counter, static_cast<uint64_t>(hi - lo + 1));
    auditSkip(visitor, m_ - 2, x1, x1, static_cast<uint64_t>(hi - lo + 1));
    return RunVerdict::kSkipped;
  }
  return RunVerdict::kWalk;
}

// The stretch of runs from x1, whose run is inside a no-op range with the
// block's greatest and whose least still falls: the runs up to the last one
// found inside with its least still falling go with it (their sums are read
// with the block's held terms, which the block's greatest implies are
// summed), found by doubling steps, then halving. Moves x1 to that run.
template <int R, int C>
template <class Visitor, class Progress>
[[gnu::always_inline]] inline void Kernel<R, C>::skipRunStretch(
    const BlockShape& shape, const BlockWalk& walk, double least, RunTrail& trail,
    Progress& progress, const Visitor& visitor, Counter& counter, BlockShape::Index& x1) {
  using Index = BlockShape::Index;
  const double* lf = walk.lf;
  const double slack = blockSlack(rows() * cols());
  const Screen& screen = walk.screen;
  auto leastOf = [&](Index z) { return walk.heldSum + shape.runLeast(lf, z); };
  auto skippable = [&](Index z) {
    const double below = leastOf(z) * (1.0 - slack);
    return screen.covers(below, walk.greatest) && below > leastOf(z + 1) * (1.0 + slack);
  };
  const Index good = endOfStretch(x1, shape.hi1, skippable);
  countUnvisited(progress, counter, shape.tables(x1, good));
  auditSkip(visitor, m_ - 2, x1, good, shape.tables(x1, good));
  const double goodLeast = good > x1 ? leastOf(good) : least;
  trail = {goodLeast * (1.0 - slack), goodLeast * (1.0 + slack)};
  x1 = good;
}

// Trimming the run's improbable ends (a visitor that does not screen single
// tables, with a lower bound): they lie at its ends, where its convex sum is
// greatest, and are trimmed off on their estimates, two a step (cheaper than
// a visit, and no exp()). On the probable side there is nothing to gain:
// those tables lie mid-run. The tables trimmed off its start are counted
// here, those off its end by the caller, after its walk.
template <int R, int C>
template <class Visitor, class Progress>
[[gnu::always_inline]] inline RunSpan Kernel<R, C>::trimRun(BlockWalk& walk, Run& run,
                                                            Progress& progress,
                                                            const Visitor& visitor,
                                                            Counter& counter) {
  run.fixedTerms = runFixedTerms(run);
  // The range is open above: no sum reaches its high end.
  const SumRange& trim = madeScreen(walk, visitor).ranges[improbableRange_];
  RXC_DEBUG_ASSERT(trim.high > 0x1p1000);
  const RunSpan left = trimmedRun(RunEstimate{walk.lf, run.fixedTerms, run.u, run.v, run.w}, run.lo,
                                  run.hi, trim.low);
  trimBackOff_.record(left.first > run.lo || left.last < run.hi);
  if (left.first > run.lo) {
    countUnvisited(progress, counter, static_cast<uint64_t>(left.first - run.lo));
    auditSkip(visitor, m_ - 1, run.lo, left.first - 1, static_cast<uint64_t>(left.first - run.lo),
              run.x1);
  }
  return left;
}

// Walking the run's tables from `from` to `to`: two a step, then the last one
// alone where they are odd in number. A visitor that screens single tables
// has each pair, and the last table, first estimated, and skips those inside
// its range; it is asked for its ranges again after each visit.
template <int R, int C>
template <class Visitor, class Progress>
[[gnu::always_inline]] inline bool Kernel<R, C>::walkRun(BlockWalk& walk, const Run& run,
                                                         BlockShape::Index from,
                                                         BlockShape::Index to, Progress& progress,
                                                         Visitor& visitor, Counter& counter) {
  using Index = BlockShape::Index;
  constexpr bool kScreensEachTable = kHasNoOpRanges<Visitor> && screensEachTable<Visitor>();
  const double* lf = walk.lf;
  const HeldTerms held = heldTerms();
  const bool oneInteriorRow = rows() < 3;
  const double marginConst = walk.marginConst;
  const Index x1 = run.x1;
  const Index u = run.u, v = run.v, w = run.w;
  const double before1 = run.before1;
  // The sum of table x, or of tables x and x + 1 in the two lanes: `rising`
  // reads ln(i!) (and ln((i+1)!)), `falling` ln(i!) (and ln((i-1)!)) for a
  // cell that falls as x rises.
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
  auto estimate = [&] { return RunEstimate{lf, run.fixedTerms, u, v, w}; };
  auto one = [lf](Index i) { return lf[i]; };
  auto risingPair = [lf](Index i) { return loadPair(lf + i); };
  auto fallingPair = [lf](Index i) { return loadPairReversed(lf + (i - 1)); };
  Screen& screen = walk.screen;
  const DoublePair slotPair = splat(run.slot);
  Index x = from;
  // Tables x and x + 1 together; every index read stays within the cells of
  // one of the two.
  for (; x < to; x += 2) {
    if constexpr (kScreensEachTable) {
      const DoublePair sum = estimate().pairAt(x);
      const SumRange& range = screen.ranges[0];
      const auto skipped = (sum > range.low) & (sum < range.high);
      if (skipped[0] & skipped[1]) {
        tickTwo(progress, counter);
        auditSkip(visitor, m_ - 1, x, x + 1, 2, x1);
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
      if (!visitor.visit(logProb[0], first)) return false;
      tick(progress, counter);
      if (!visitor.visit(logProb[1], second)) return false;
    }
    if constexpr (kScreensEachTable) screen = screenOf(visitor);
  }
  if (x == to) {
    tick(progress, counter);
    bool skipped = false;
    if constexpr (kScreensEachTable) {
      const double sum = estimate().at(x);
      skipped = sum > screen.ranges[0].low && sum < screen.ranges[0].high;
    }
    if (skipped) auditSkip(visitor, m_ - 1, x, x, 1, x1);
    if (!skipped) {
      const double logProb = marginConst - sumOf(x, one, one, run.slot);
      if (!visitor.visit(logProb, Table(*this, static_cast<int32_t>(x1), static_cast<int32_t>(x))))
        return false;
      if constexpr (kScreensEachTable) screen = screenOf(visitor);
    }
  }
  return true;
}

}  // namespace rxc::enumeration_detail
