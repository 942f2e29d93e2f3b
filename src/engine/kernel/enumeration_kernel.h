// The enumeration kernel: the walk over the interior cells and the table view
// handed to visitors. Included by engine/kernel/enumeration.h; see the contract there.
//
// Layout. The interior cells are one sequence of positions in column-major
// order, q = j * (r-1) + i (0-based interior row i, column j). Every position
// keeps what its bounds were computed from, so a carry refills only the
// positions after the one that moved:
//   colRest  what the cell's column still needs in this row and below,
//   rowRest  what the cell's row still needs in this column and to the right,
//   rest     the total of the sub-table from this row and column on,
//   low and high, the cell's range from these (cell_bounds.h),
//   logSum   ln(x!) of the interior cells summed up to this one.
// A position in the last interior row fixes the last-row cell below it
// (colRest - cell); one in the last interior column fixes the last-column cell
// beside it (rowRest - cell). Their ln(x!) are held when the position is set.
//
// The last two positions (x1, then x) are not kept in the arrays: a block
// (enumeration_blocks-inl.h, its runs in enumeration_runs-inl.h) runs them as
// two loops, in which every derived cell that depends on them is an affine
// function of x1 and x. The additions of a table's sum go through
// enumeration_terms.h. Subtrees are judged whole in
// enumeration_subtree_checks-inl.h, and the third-last cell's loop of the
// fixed shapes is in enumeration_loop-inl.h.
//
// A few small shapes are compiled with r and c as constants
// (enumeration_shapes.h), which unrolls the additions of the held derived
// cells; there, with log-probabilities, the third-last cell also loops around
// the blocks, each block set up from formulas in that cell rather than by a
// carry. Any other shape up to 100 x 100 runs the same code with r and c read
// at run time, its arrays acquired once before the first table. Nothing is
// acquired per table.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <type_traits>
#include <vector>

#include "base/debug_checks.h"
#include "base/double_pair.h"
#include "base/fatal_stop.h"
#include "engine/bounds/cell_bounds.h"
#include "engine/bounds/enumeration_screen.h"
#include "engine/bounds/enumeration_subtrees.h"
#include "engine/kernel/enumeration_block_shape.h"
#include "engine/kernel/enumeration_runs.h"
#include "engine/kernel/enumeration_terms.h"
#include "engine/kernel/skip_audit.h"
#include "engine/problem/pass_options.h"
#include "engine/problem/pass_result.h"
#include "engine/problem/problem.h"
#include "engine/problem/progress_marks.h"

namespace rxc {

// A piece of a pass: the tables whose first `depth` interior positions (in
// generation order) hold `prefix`. Walking the pieces of a pass one after the
// other, in the order of their prefixes, gives the pass's tables in order.
struct Piece {
  int depth = 0;
  const int16_t* prefix = nullptr;
};

namespace enumeration_detail {

// Fixed-size storage when the size is known at compile time (N > 0), else a
// vector sized once before the first table.
template <class T, int N>
struct Buffer {
  std::array<T, N> values{};
  void resize(int) {}
  T* data() { return values.data(); }
  const T* data() const { return values.data(); }
};
template <class T>
struct Buffer<T, 0> {
  std::vector<T> values;
  void resize(int n) { values.assign(static_cast<size_t>(n), T{}); }
  T* data() { return values.data(); }
  const T* data() const { return values.data(); }
};

inline constexpr const char* kCornerMessage = " Error ultimo elemento. Contactar con el autor";

// R, C: the shape when known at compile time, 0 for a shape read at run time.
template <int R, int C>
class Kernel {
 public:
  // The table being visited: the kernel's arrays plus the block's two cells.
  // Valid only during the visit() call it is handed to.
  class Table {
   public:
    Table(const Kernel& kernel, int32_t secondLast, int32_t last)
        : kernel_(kernel), secondLast_(secondLast), last_(last) {}
    int rows() const { return kernel_.rows(); }
    int cols() const { return kernel_.cols(); }
    // The complete table, r x c cells, row-major.
    void copyTo(int16_t* cells) const { kernel_.copyTable(secondLast_, last_, cells); }

   private:
    const Kernel& kernel_;
    int32_t secondLast_;
    int32_t last_;
  };

  explicit Kernel(const Problem& problem, PassOptions options = {});

  int rows() const { return R ? R : r_; }
  int cols() const { return C ? C : c_; }

  // The whole pass, or one piece of it (pieces need at least three interior
  // positions, and a depth of at most piecesDepthLimit(problem), in
  // enumeration_shapes.h). A piece may share a subtree skipper with the other
  // pieces a worker runs, which keeps their counts memoised.
  template <class Visitor, class Progress>
  PassResult run(Progress& progress, Visitor& visitor, const Piece* piece = nullptr,
                 SubtreeSkipper* sharedSkipper = nullptr);

 private:
  // Where the pass stands: tables so far and the count of the next mark.
  struct Counter {
    uint64_t count;
    uint64_t markAt;
  };

  // What a block of the last two cells (x1, then x) starts from: the bounds
  // of x1, low = max(0, colRest1 + rowRest1 - rest1) and high =
  // min(colRest1, rowRest1), and those of x as functions of x1,
  // low = max(0, u0 - x1 + fixed - rest2) and high = min(u0 - x1, fixed).
  struct BlockStart {
    int32_t colRest1, rowRest1, rest1, u0, fixed, rest2;
    double before;  // ln(x!) of the interior cells before x1, summed
  };

  // The two values that every table's corner is derived from (the last row
  // and the last column) differ by the difference of the margins' totals,
  // the same for every table; returns whether they agree.
  bool cornerConsistent() const;

  // The interior cells' running sum of ln(x!) before position q.
  double interiorSumBefore(int q) const {
    return q == 0 ? kNoInteriorCells : logSum_.data()[q - 1];
  }

  // Sets position q, interior row i, column j, to `value`.
  template <bool kLog>
  void setCell(int q, int i, int j, int32_t value);

  // Sets positions from..to-1 to their lower bounds, each bound computed from
  // the positions before it; `from` is interior row i, column j. With
  // `values`, position q takes values[q] instead (a piece's prefix).
  template <bool kLog>
  void refill(int from, int i, int j, int to, const int16_t* values = nullptr);

  // Advances the held positions from position q (interior row i, column j)
  // back, and sets those after the one that moved to their lower bounds.
  // Returns the position that moved, or -1 when the pass is over.
  template <bool kLog>
  int carry(int q, int i, int j);

  // --- Subtrees (enumeration_subtree_checks-inl.h) ---

  // Checks the subtrees at the positions from `from` on, shallowest first;
  // counts the first whose every table is a no-op and returns its position
  // (the walk carries past it), or -1 when none can be skipped.
  template <class Visitor, class Progress>
  int skipSubtree(int from, SubtreeSkipper& skipper, Progress& progress, const Visitor& visitor,
                  Counter& counter);
  // Bounds on the sums of the tables of the subtree at position q, widened
  // for their roundings; `interiorSum` is ln(x!) of the interior cells summed
  // up to position q.
  SumSpan subtreeRange(int q, double interiorSum, SubtreeSkipper& skipper) const;

  // Counts n tables that are not visited, with the progress marks that fall
  // on them (at most one a table, as if they were walked).
  template <class Progress>
  static void countUnvisited(Progress& progress, Counter& counter, uint64_t n);

  // In the sanitizer build, walks a sample of the sets of tables counted
  // without a visit (skip_audit.h): here the tables whose positions before
  // `depth` are those held (and x1, the block's first cell, at m - 2), with
  // position `depth` from `from` to `to`. Elsewhere, nothing.
  template <class Visitor>
  void auditSkip(const Visitor& visitor, int depth, int64_t from, int64_t to, uint64_t counted,
                 int64_t x1 = 0) {
    if constexpr (kHasNoOpRanges<Visitor>) {
      if (audit_.due(counted)) {
        audit_.check(cell_.data(), x1, depth, from, to, counted, visitor.noOpRanges());
      }
    }
  }

  // --- Blocks (enumeration_blocks-inl.h) ---

  // The start of the block read from the held positions.
  BlockStart blockStart() const;
  // The block's polygon.
  BlockShape shapeOf(const BlockStart& start) const;

  // What a block's exact check found, for the loop around it: bounds on its
  // least sum (from below and from above) and whether it was skipped.
  struct BlockVerdict {
    bool judged = false;
    bool skipped = false;
    double leastBelow = 0.0;
    double leastAbove = 0.0;
  };

  // What the steps of a block's walk with log-probabilities share, besides
  // its shape: the interior cells before it, the visitor's screen, and what
  // judging the block found.
  // (Read once a block: a visitor's call may write to any memory the
  // compiler cannot rule out, members of the kernel included.)
  struct BlockWalk {
    const double* lf;
    double marginConst;
    double before;  // ln(x!) of the interior cells before x1, summed
    // Made where a check or the tables need it (it costs a few divisions,
    // and most blocks of a pass that does not screen single tables are
    // walked unchecked).
    Screen screen{};
    bool screenMade = false;
    bool judged = false;            // whether the block was judged whole
    double heldSum = 0.0;           // `before` and the held terms, if it was
    double greatest = kLargestLog;  // its greatest sum, where it was sought
  };

  // One run of x (x1 fixed) of a block: x from lo to hi; the last-row cell
  // below x is u - x, the last-column cell beside it v - x, the corner w + x.
  // x1's own derived cell (beside it, or below it with one interior row) is
  // fixed along the run.
  struct Run {
    using Index = BlockShape::Index;
    Index x1, lo, hi;
    Index u, v, w;
    double before1;     // the interior cells' running sum up to x1
    double slot;        // ln(x!) of x1's own derived cell
    double fixedTerms;  // the terms fixed along the run, where summed
  };

  // The least sums of the runs judged last, from below and from above.
  struct RunTrail {
    double leastBelow = -kLargestLog;
    double leastAbove = kLargestLog;
  };

  // The block of x1 and x from `start`: judged whole, then walked.
  template <class Visitor, class Progress>
  bool block(const BlockStart& start, Progress& progress, Visitor& visitor, Counter& counter,
             BlockVerdict* verdict = nullptr);
  // The walk of a pass that needs no log-probability.
  template <class Visitor, class Progress>
  bool countOnlyBlock(const BlockStart& start, Progress& progress, Visitor& visitor,
                      Counter& counter);
  // The visitor's screen for this block, made on first use.
  template <class Visitor>
  const Screen& madeScreen(BlockWalk& walk, const Visitor& visitor) const;
  // Judges the whole block; true when it was counted without a visit.
  template <class Visitor, class Progress>
  bool judgeBlock(const BlockShape& shape, BlockWalk& walk, Progress& progress,
                  const Visitor& visitor, Counter& counter, BlockVerdict* verdict);
  // The second half of judging it: its exact least and greatest.
  template <class Visitor, class Progress>
  bool judgeBlockExactly(const BlockShape& shape, BlockWalk& walk, double termsGreatest,
                         Progress& progress, const Visitor& visitor, Counter& counter,
                         BlockVerdict* verdict);
  // Whether the block's runs are long enough for the nested loops.
  static bool runsAreLong(const BlockShape& shape);
  // The block's tables in one sequence, for runs of single tables.
  template <class Visitor, class Progress>
  bool flatWalk(const BlockShape& shape, const BlockWalk& walk, Progress& progress,
                Visitor& visitor, Counter& counter);

  // --- Runs (enumeration_runs-inl.h) ---

  // The block's runs by nested loops.
  template <class Visitor, class Progress>
  bool nestedRuns(const BlockShape& shape, BlockWalk& walk, Progress& progress, Visitor& visitor,
                  Counter& counter);
  // The runs wholly beyond the improbable range's bound, taken off the
  // block's ends: the runs left, and the tables of those taken off.
  template <class Visitor, class Progress>
  EndRuns takeEndRuns(const BlockShape& shape, BlockWalk& walk, Progress& progress,
                      const Visitor& visitor, Counter& counter);
  // The run of x1.
  Run runOf(const BlockShape& shape, const BlockWalk& walk, BlockShape::Index x1) const;
  // The sum of the terms fixed along a run, the moving ones as 0.
  double runFixedTerms(const Run& run) const;
  // What judging a run decided: walk it, or go on after `x1` (the run, or a
  // stretch of runs up to x1, was counted), or the rest of the block was
  // counted.
  enum class RunVerdict { kWalk, kSkipped, kRestSkipped };
  template <class Visitor, class Progress>
  RunVerdict judgeRun(const BlockShape& shape, BlockWalk& walk, const Run& run, RunTrail& trail,
                      Progress& progress, const Visitor& visitor, Counter& counter,
                      BlockShape::Index& x1);
  // After a run inside a no-op range whose least still falls: skips the
  // stretch of runs its least settles, moving x1 to the last one.
  template <class Visitor, class Progress>
  void skipRunStretch(const BlockShape& shape, const BlockWalk& walk, double least, RunTrail& trail,
                      Progress& progress, const Visitor& visitor, Counter& counter,
                      BlockShape::Index& x1);
  // The tables of the run left once its improbable ends are trimmed off.
  template <class Visitor, class Progress>
  RunSpan trimRun(BlockWalk& walk, Run& run, Progress& progress, const Visitor& visitor,
                  Counter& counter);
  // Walks the tables x = from .. to of the run, two a step.
  template <class Visitor, class Progress>
  bool walkRun(BlockWalk& walk, const Run& run, BlockShape::Index from, BlockShape::Index to,
               Progress& progress, Visitor& visitor, Counter& counter);

  // --- The third-last cell's loop (enumeration_loop-inl.h) ---

  // Fixed shapes with at least three interior cells, with log-probabilities:
  // the third-last cell as a loop around the blocks, from its present value
  // to its high, which it is left at. Each value starts its block from
  // formulas in that value, without a carry, a refill or array reads.
  // With a subtree skipper, the rest of the loop may be skipped at once.
  template <class Visitor, class Progress>
  bool thirdLastLoop(Progress& progress, Visitor& visitor, Counter& counter,
                     SubtreeSkipper* skipper);
  // What the loop's blocks are set up from, read once before it.
  struct LoopStart {
    int32_t colRest0, rowRest0, rest0, high0;
    double before0;  // the interior cells' running sum before the third-last
    // rowRest of the block's cell p0 + k (k = 1, 2) when the cell to its
    // left is held.
    int32_t heldRowRest[3];
  };
  LoopStart loopStart() const;
  // The start of x0's block, from formulas in x0.
  BlockStart loopBlockStart(const LoopStart& loop, int32_t x0) const;
  // Sets x0's own derived cells, which the blocks add as held ones.
  void setLoopDerived(const LoopStart& loop, int32_t x0);
  // The least of x0's block, widened down and up (it sets x0's derived
  // cells).
  BlockVerdict loopBlockLeast(const LoopStart& loop, int32_t x0);
  // The tables of the blocks of x0 = from .. to.
  uint64_t loopTables(const LoopStart& loop, int32_t from, int32_t to) const;
  // After x0's block was skipped: skips the blocks that its least settles,
  // moving x0 to the last one; true when that is the rest of the loop.
  template <class Visitor, class Progress>
  bool skipBlockStretch(const LoopStart& loop, int32_t& x0, BlockVerdict& verdict,
                        const BlockVerdict& last, SubtreeSkipper& skipper, double& loopGreatest,
                        Progress& progress, const Visitor& visitor, Counter& counter);

  // 2 x 2: the single interior cell.
  template <class Visitor, class Progress>
  bool twoByTwo(Progress& progress, Visitor& visitor, Counter& counter);

  // The held derived cells a block's tables add, and their sum added to
  // `before` (the interior cells before x1).
  HeldTerms heldTerms() const;
  double heldSumFrom(double before) const;

  // The screen of the visitor's no-op ranges now. A visitor that does not
  // screen single tables keeps its ranges for the whole pass: its screen is
  // made once, when the pass starts (making one costs four divisions, and in
  // the band of 4 x 4 with every marginal 20 making one per block check took
  // 3 % of the pass).
  template <class Visitor>
  Screen screenOf(const Visitor& visitor) const {
    if constexpr (!screensEachTable<Visitor>()) {
      return passScreen_;
    } else {
      return screenFor(visitor.noOpRanges(), logMarginConst_, rows() * cols());
    }
  }

  // Counts two tables with one test when no mark is due at either.
  template <class Progress>
  static void tickTwo(Progress& progress, Counter& counter) {
    if (counter.count + 2 < counter.markAt) [[likely]] {
      counter.count += 2;
    } else {
      tick(progress, counter);
      tick(progress, counter);
    }
  }

  // Counts one table; reaches the progress mark when it is due.
  template <class Progress>
  static void tick(Progress& progress, Counter& counter) {
    if (++counter.count >= counter.markAt) {
      progress.reach(counter.count);
      counter.markAt = progress.nextMarkAt();
    }
  }

  void copyTable(int32_t secondLast, int32_t last, int16_t* cells) const;

  // How many held derived ln(x!) a table adds, -1 when only known at run
  // time: c-2 last-row terms (c-3 with one interior row) and r-3 last-column
  // terms.
  static constexpr int kHeldRowTerms = (R && C) ? (R >= 3 ? C - 2 : C - 3) : -1;
  static constexpr int kHeldColTerms = R ? R - 3 : -1;

  // Runs of the last cell at least this long are walked by nested loops:
  // with two tables per step, only runs of one table gain from the flat walk.
  static constexpr int32_t kNestedRunLength = 2;

  // Runs at least this long are first judged as a whole, for a visitor that
  // screens single tables.
  static constexpr int kRunCheckLength = 4;
  // A visitor that does not screen single tables pays for every table of a
  // block the check keeps, exp() and all, but a check costs about as much as
  // a few tables: its blocks are judged only where a success saves more than
  // that. Its runs are not judged whole: those that a condition's lower
  // bound may cut have their improbable ends trimmed on their tables'
  // estimates, two a step, which skips what a check of the whole run would;
  // on the probable side a check seldom pays.
  static constexpr uint64_t kUnscreenedBlockCheckTables = 24;
  static constexpr int kTrimmedRunLength = 2;

  // Stretches of blocks are sought only where at least this many blocks of
  // the loop are left: each may cost a bound of the whole loop, a few
  // hundred nanoseconds.
  static constexpr int32_t kStretchLoopBlocks = 8;
  // A visitor that does not screen single tables checks the third-last
  // cell's loop as a subtree only where at least this many of its blocks are
  // left (in the band of 4 x 4 with every marginal 20, 187 k loops lie wholly
  // below the condition's lower bound, most of them short).
  static constexpr int32_t kLoopCheckBlocks = 5;

  static constexpr int kM = (R && C) ? (R - 1) * (C - 1) : 0;

  const int r_;
  const int c_;
  const int m_;  // interior positions
  const double* const logFactorial_;
  const int logFactorialSize_;  // entries that may be read
  const double logMarginConst_;
  const bool bounded_;
  int floor_ = 0;  // carries never move a position below this (a piece's depth)

  // Back-off of the checks of whole blocks, for visitors that do not screen
  // single tables (a check that fails costs them more).
  CheckBackOff blockBackOff_;
  // ... and of their greatest, which the probable side alone needs.
  CheckBackOff greatestBackOff_;
  // Back-off of the stretches of blocks of the third-last cell's loop.
  CheckBackOff stretchBackOff_;
  // Back-off of the trimming of runs' ends, and of the checks of whole runs
  // at a block's ends.
  CheckBackOff trimBackOff_;
  CheckBackOff endRunsBackOff_;
  // The no-op range of the improbable tables that runs are trimmed of, or
  // -1: known when a pass starts, for a visitor whose ranges stay as they
  // are (one that screens single tables is not trimmed).
  int improbableRange_ = -1;
  // The screen of a visitor whose ranges stay as they are, made when a pass
  // starts.
  Screen passScreen_;

  Buffer<int32_t, R> rowMargin_;
  Buffer<int32_t, C> colMargin_;
  Buffer<int32_t, C> colSuffix_;  // sum of the column margins from j on

  // Held positions 0 .. m-3.
  Buffer<int32_t, kM> cell_;
  Buffer<int32_t, kM> high_;
  Buffer<int32_t, kM> colRest_;
  Buffer<int32_t, kM> rowRest_;
  Buffer<int32_t, kM> rest_;
  Buffer<double, kM> logSum_;

  // ln(x!) of the last-row cell below column j and of the last-column cell
  // beside row i, for the columns and rows held in the arrays; in both lanes,
  // so that two tables add each with one instruction.
  Buffer<DoublePair, C> rowLog_;
  Buffer<DoublePair, R> colLog_;

  [[no_unique_address]] std::conditional_t<kDebugChecks, SkipAudit, NoSkipAudit> audit_;
};

template <int R, int C>
Kernel<R, C>::Kernel(const Problem& problem, PassOptions options)
    : r_(R ? R : problem.r),
      c_(C ? C : problem.c),
      m_((r_ - 1) * (c_ - 1)),
      logFactorial_(problem.logFactorial.data()),
      logFactorialSize_(problem.logFactorial.filled() + 1),
      logMarginConst_(problem.logMarginConst),
      bounded_(options.bounded) {
  rowMargin_.resize(r_);
  colMargin_.resize(c_);
  colSuffix_.resize(c_);
  rowLog_.resize(c_);
  colLog_.resize(r_);
  for (auto* a : {&cell_, &high_, &colRest_, &rowRest_, &rest_}) a->resize(m_);
  logSum_.resize(m_);
  for (int i = 0; i < r_; ++i) rowMargin_.data()[i] = problem.rowMargin[i];
  for (int j = 0; j < c_; ++j) colMargin_.data()[j] = problem.colMargin[j];
  int32_t suffix = 0;
  for (int j = c_ - 1; j >= 0; --j) {
    suffix += colMargin_.data()[j];
    colSuffix_.data()[j] = suffix;
  }
  audit_.start(r_, c_, rowMargin_.data(), colMargin_.data(), logFactorial_, logMarginConst_);
}

template <int R, int C>
bool Kernel<R, C>::cornerConsistent() const {
  int32_t rowTotal = 0;
  int32_t colTotal = 0;
  for (int i = 0; i < rows(); ++i) rowTotal += rowMargin_.data()[i];
  for (int j = 0; j < cols(); ++j) colTotal += colMargin_.data()[j];
  return rowTotal == colTotal;
}

template <int R, int C>
template <bool kLog>
inline void Kernel<R, C>::setCell(int q, int i, int j, int32_t value) {
  RXC_DEBUG_ASSERT(q >= 0 && q < m_ - 2 && i >= 0 && i < rows() - 1 && j >= 0 && j < cols() - 1);
  RXC_DEBUG_ASSERT(value >= 0 && value <= high_.data()[q]);
  cell_.data()[q] = value;
  if constexpr (kLog) {
    const double* lf = logFactorial_;
    RXC_DEBUG_ASSERT(value < logFactorialSize_);
    logSum_.data()[q] = addInteriorCell(interiorSumBefore(q), lf[value]);
    if (i == rows() - 2) rowLog_.data()[j] = splat(lf[colRest_.data()[q] - value]);
    if (j == cols() - 2) colLog_.data()[i] = splat(lf[rowRest_.data()[q] - value]);
  }
}

template <int R, int C>
template <bool kLog>
void Kernel<R, C>::refill(int from, int i, int j, int to, const int16_t* values) {
  const int h = rows() - 1;  // interior rows
  const int32_t* cell = cell_.data();
  int32_t* colRest = colRest_.data();
  int32_t* rowRest = rowRest_.data();
  int32_t* rest = rest_.data();
  for (int q = from; q < to; ++q) {
    int32_t cr, t;
    if (i == 0) {
      cr = colMargin_.data()[j];
      t = colSuffix_.data()[j];
    } else {
      cr = colRest[q - 1] - cell[q - 1];
      t = rest[q - 1] - rowRest[q - 1];
    }
    const int32_t rr = j == 0 ? rowMargin_.data()[i] : rowRest[q - h] - cell[q - h];
    colRest[q] = cr;
    rowRest[q] = rr;
    rest[q] = t;
    high_.data()[q] = cellHigh(cr, rr);
    setCell<kLog>(q, i, j, values != nullptr ? values[q] : cellLow(cr, rr, t));
    if (++i == h) {
      i = 0;
      ++j;
    }
  }
}

template <int R, int C>
template <bool kLog>
[[gnu::always_inline]] inline int Kernel<R, C>::carry(int q, int i, int j) {
  const int h = rows() - 1;
  const int kept = m_ - 2;  // positions held in the arrays
  const int32_t* cell = cell_.data();
  const int32_t* high = high_.data();
  if (q < floor_) return -1;
  while (cell[q] == high[q]) {
    if (--q < floor_) return -1;
    if (--i < 0) {
      i = h - 1;
      --j;
    }
  }
  setCell<kLog>(q, i, j, cell[q] + 1);
  const int moved = q;
  if (q + 1 < kept) {
    if (++i == h) {
      i = 0;
      ++j;
    }
    refill<kLog>(q + 1, i, j, kept);
  }
  return moved;
}

template <int R, int C>
template <class Visitor, class Progress>
PassResult Kernel<R, C>::run(Progress& progress, Visitor& visitor, const Piece* piece,
                             SubtreeSkipper* sharedSkipper) {
  constexpr bool kLog = Visitor::kNeedsLogProb;
  if (!cornerConsistent()) {
    // The first table is counted and marked, then fails its corner check.
    if (progress.nextMarkAt() <= 1) progress.reach(1);
    stopRun(kCornerMessage);
  }
  Counter counter{0, progress.nextMarkAt()};
  if constexpr (kHasNoOpRanges<Visitor> && !screensEachTable<Visitor>()) {
    improbableRange_ = bounded_ ? openBelow(visitor.noOpRanges()) : -1;
    passScreen_ = screenFor(visitor.noOpRanges(), logMarginConst_, rows() * cols());
  }
  // (A fixed shape compiles only the case it is.)
  if constexpr (kM == 0 || kM == 1) {
    if (m_ == 1) {
      const bool completed = twoByTwo(progress, visitor, counter);
      return {counter.count, completed};
    }
  }
  const int depth = piece != nullptr ? piece->depth : 0;
  RXC_DEBUG_ASSERT(depth == 0 || m_ >= 3);
  if constexpr (kM != 1) {
    if (depth > 0) {
      // The piece's prefix, then the first table after it.
      refill<kLog>(0, 0, 0, depth, piece->prefix);
      refill<kLog>(depth, depth % (rows() - 1), depth / (rows() - 1), m_ - 2);
      floor_ = depth;
    } else {
      refill<kLog>(0, 0, 0, m_ - 2);
    }
    if constexpr (kM == 0 || kM == 2) {
      if (m_ == 2) {
        const bool completed = block(blockStart(), progress, visitor, counter);
        return {counter.count, completed};
      }
    }
  }
  if constexpr (kM == 0 || kM > 2) {
    // Subtrees are checked where their positions have enough below them.
    std::unique_ptr<SubtreeSkipper> ownSkipper;
    SubtreeSkipper* skipper = nullptr;
    if constexpr (kLog && kHasNoOpRanges<Visitor>) {
      if (bounded_ && m_ - 1 - kPositionsBelowACheck >= 0) {
        skipper = sharedSkipper;
        if (skipper == nullptr) {
          ownSkipper = std::make_unique<SubtreeSkipper>(rows(), cols(), colMargin_.data(), m_);
          skipper = ownSkipper.get();
        }
      }
    }
    const int h = rows() - 1;
    // The position each step carries from: the last held one before the
    // third-last cell where that cell loops around the blocks (fixed shapes
    // with log-probabilities), else the last held one.
    constexpr bool kThirdLastLoop = kLog && kM > 2;
    const int deepest = kThirdLastLoop ? kM - 4 : m_ - 3;
    const int deepestRow = deepest < 0 ? 0 : deepest % h;
    const int deepestCol = deepest < 0 ? 0 : deepest / h;
    // The first position set since the last check; a piece first checks its
    // own subtree.
    int moved = std::max(0, depth - 1);
    for (;;) {
      if constexpr (kLog && kHasNoOpRanges<Visitor>) {
        if (skipper != nullptr) {
          const int skipped = skipSubtree(moved, *skipper, progress, visitor, counter);
          if (skipped >= 0) {
            moved = carry<kLog>(skipped, skipped % h, skipped / h);
            if (moved < 0) break;
            continue;
          }
        }
      }
      if constexpr (kThirdLastLoop) {
        if (!thirdLastLoop(progress, visitor, counter, skipper)) return {counter.count, false};
      } else {
        if (!block(blockStart(), progress, visitor, counter)) return {counter.count, false};
      }
      moved = carry<kLog>(deepest, deepestRow, deepestCol);
      if (moved < 0) break;
    }
  }
  return {counter.count, true};
}

template <int R, int C>
void Kernel<R, C>::copyTable(int32_t secondLast, int32_t last, int16_t* cells) const {
  const int r = rows();
  const int c = cols();
  const int h = r - 1;
  const int32_t* cell = cell_.data();
  // The interior cells, column by column as they are held, then the block's
  // two: the second-last just above the last (or left of it with one
  // interior row; 2 x 2 has none), the last at row h-1 of column c-2.
  const int held = m_ - 2;
  for (int q = 0, i = 0, j = 0; q < held; ++q) {
    cells[i * c + j] = static_cast<int16_t>(cell[q]);
    if (++i == h) {
      i = 0;
      ++j;
    }
  }
  if (m_ >= 2) cells[(held % h) * c + held / h] = static_cast<int16_t>(secondLast);
  cells[(h - 1) * c + (c - 2)] = static_cast<int16_t>(last);
  // The derived cells: the last row below each column, the last column
  // beside each row, and the corner.
  int32_t lastRowSum = 0;
  for (int j = 0; j + 1 < c; ++j) {
    int32_t columnSum = 0;
    for (int i = 0; i < h; ++i) columnSum += cells[i * c + j];
    const int32_t d = colMargin_.data()[j] - columnSum;
    cells[h * c + j] = static_cast<int16_t>(d);
    lastRowSum += d;
  }
  for (int i = 0; i < h; ++i) {
    int32_t rowSum = 0;
    for (int j = 0; j + 1 < c; ++j) rowSum += cells[i * c + j];
    cells[i * c + (c - 1)] = static_cast<int16_t>(rowMargin_.data()[i] - rowSum);
  }
  cells[h * c + (c - 1)] = static_cast<int16_t>(rowMargin_.data()[h] - lastRowSum);
}

}  // namespace enumeration_detail
}  // namespace rxc

// The definitions of the kernel's walks below the held positions, each file
// a part of this header and included here alone.
#include "engine/kernel/enumeration_blocks-inl.h"
#include "engine/kernel/enumeration_loop-inl.h"
#include "engine/kernel/enumeration_runs-inl.h"
#include "engine/kernel/enumeration_subtree_checks-inl.h"
