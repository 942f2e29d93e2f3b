// The enumeration kernel: runPass() and the table view handed to visitors.
// Included by engine/enumeration.h; see the contract there.
//
// Layout. The interior cells are one sequence of positions in column-major
// order, q = j * (r-1) + i (0-based interior row i, column j). Every position
// keeps what its bounds were computed from, so a carry refills only the
// positions after the one that moved:
//   colRest  what the cell's column still needs in this row and below,
//   rowRest  what the cell's row still needs in this column and to the right,
//   rest     the total of the sub-table from this row and column on,
//   low = max(0, colRest + rowRest - rest), high = min(colRest, rowRest),
//   logSum   ln(x!) of the interior cells summed up to this one.
// A position in the last interior row fixes the last-row cell below it
// (colRest - cell); one in the last interior column fixes the last-column cell
// beside it (rowRest - cell). Their ln(x!) are stored when the position is set.
//
// The last two positions (x1, then x) are not kept in the arrays: block() runs
// them as two loops. Within a block every derived cell that depends on them is
// an affine function of x1 and x, so a table costs the lookups of x1, x and of
// four derived cells plus the fixed chain of additions. With log-probabilities
// a block whose runs of x are single tables is walked as one flat sequence of
// tables, (x1, x) stepping without a branch, so that each run does not end in
// a mispredicted loop exit; longer runs keep the nested loops, whose inner
// loop forms the log-probabilities of tables x and x + 1 side by side in the
// two lanes of a DoublePair (each lane adds the same terms in the same order
// as a lone table). A count-only pass keeps the nested loops, whose inner loop
// folds away.
//
// Screening. A visitor may name no-op bounds: log-probabilities strictly
// between them change nothing (option A's tracking: clearly inside the
// minimum and the maximum). For such a visitor a whole block is first
// bounded, each term by its least and greatest value over the block, and in
// the nested loops each table is estimated with the terms fixed along the run
// added up front (four additions instead of all of them). A block or a table
// that is inside the bounds by more than any rounding of the sums can reach is
// skipped; every other table gets its exact log-probability as above.
//
// A few small shapes are compiled with r and c as constants (kFixedShapes),
// which unrolls the additions of the held derived cells; there, with
// log-probabilities, the third-last cell also loops around the blocks, each
// block set up from formulas in that cell rather than by a carry. Any other
// shape up to 100 x 100 runs the same code with r and c read at run time, its
// arrays acquired once before the first table. Nothing is acquired per table.
//
// Bit-identity. Every log-probability is formed with the additions of the
// plain algorithm, in its order: the running sum of the interior cells, then
// the last-row cells, the last-column cells and the corner. Derived cells of
// 0 or 1 add ln 0! = ln 1! = +0.0, which leaves a non-negative sum unchanged,
// so adding them is the same as skipping them; nothing is ever regrouped.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <type_traits>
#include <vector>

#include "base/double_pair.h"
#include "base/fatal_stop.h"
#include "engine/enumeration.h"

namespace rxc {
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

// s + a[0] + a[1] + ... + a[n-1], added in that order. With the count known
// at compile time (N >= 0) the additions are unrolled; otherwise a jump into
// an unrolled tail replaces a loop branch per term.
// The terms are held in both lanes of a DoublePair. The accumulator is a
// double, which takes the low lane, or a DoublePair, whose lanes each take the
// same additions in the same order.
template <int N, class Sum>
inline Sum addInOrder(Sum s, const DoublePair* a, int n) {
  auto term = [](const DoublePair& t) {
    if constexpr (std::is_same_v<Sum, double>) {
      return t[0];
    } else {
      return t;
    }
  };
  if constexpr (N >= 0) {
    for (int k = 0; k < N; ++k) s += term(a[k]);
  } else {
    const DoublePair* end = a + n;
    // clang-format off
    switch (n) {
      default:
        for (int k = 0; k < n - 8; ++k) s += term(a[k]);
        [[fallthrough]];
      case 8: s += term(end[-8]); [[fallthrough]];
      case 7: s += term(end[-7]); [[fallthrough]];
      case 6: s += term(end[-6]); [[fallthrough]];
      case 5: s += term(end[-5]); [[fallthrough]];
      case 4: s += term(end[-4]); [[fallthrough]];
      case 3: s += term(end[-3]); [[fallthrough]];
      case 2: s += term(end[-2]); [[fallthrough]];
      case 1: s += term(end[-1]); [[fallthrough]];
      case 0: break;
    }
    // clang-format on
  }
  return s;
}

inline constexpr const char* kCornerMessage = " Error ultimo elemento. Contactar con el autor";

// R, C: the shape when known at compile time, 0 for a shape read at run time.
template <int R, int C>
class Kernel {
 public:
  // The table being visited: the kernel's arrays plus the two loop counters.
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

  explicit Kernel(const Problem& input)
      : r_(R ? R : input.r),
        c_(C ? C : input.c),
        m_((r_ - 1) * (c_ - 1)),
        lastKeptRow_(m_ >= 3 ? (m_ - 3) % (r_ - 1) : 0),
        lastKeptCol_(m_ >= 3 ? (m_ - 3) / (r_ - 1) : 0),
        logFactorial_(input.logFactorial.data()),
        logMarginConst_(input.logMarginConst) {
    rowMargin_.resize(r_);
    colMargin_.resize(c_);
    colSuffix_.resize(c_);
    rowLog_.resize(c_);
    colLog_.resize(r_);
    for (auto* a : {&cell_, &high_, &colRest_, &rowRest_, &rest_}) a->resize(m_);
    logSum_.resize(m_);
    for (int i = 0; i < r_; ++i) rowMargin_.data()[i] = input.rowMargin[i];
    for (int j = 0; j < c_; ++j) colMargin_.data()[j] = input.colMargin[j];
    int32_t suffix = 0;
    for (int j = c_ - 1; j >= 0; --j) {
      suffix += colMargin_.data()[j];
      colSuffix_.data()[j] = suffix;
    }
  }

  int rows() const { return R ? R : r_; }
  int cols() const { return C ? C : c_; }

  template <class Visitor, class Progress>
  PassResult run(Progress& progress, Visitor& visitor);

 private:
  // Where the pass stands: tables so far and the count of the next mark.
  struct Counter {
    uint64_t count;
    uint64_t markAt;
  };

  // The two values that every table's corner is derived from (the last row
  // and the last column) differ by the difference of the margins' totals,
  // the same for every table; returns whether they agree.
  bool cornerConsistent() const {
    int32_t rowTotal = 0;
    int32_t colTotal = 0;
    for (int i = 0; i < rows(); ++i) rowTotal += rowMargin_.data()[i];
    for (int j = 0; j < cols(); ++j) colTotal += colMargin_.data()[j];
    return rowTotal == colTotal;
  }

  // Sets position q, interior row i, column j, to `value`.
  template <bool kLog>
  void setCell(int q, int i, int j, int32_t value);

  // Sets positions from..to-1 to their lower bounds, each bound computed from
  // the positions before it; `from` is interior row i, column j.
  template <bool kLog>
  void refill(int from, int i, int j, int to);

  // Advances the held positions from position q (interior row i, column j)
  // back; false when the pass is over.
  template <bool kLog>
  bool carry(int q, int i, int j);

  // What a block of the last two cells (x1, then x) starts from: the bounds
  // of x1, low = max(0, colRest1 + rowRest1 - rest1) and high =
  // min(colRest1, rowRest1), and those of x as functions of x1,
  // low = max(0, u0 - x1 + fixed - rest2) and high = min(u0 - x1, fixed).
  struct BlockStart {
    int32_t colRest1, rowRest1, rest1, u0, fixed, rest2;
    double before;  // ln(x!) of the interior cells before x1, summed
  };
  // The start of the block read from the held positions.
  BlockStart blockStart() const;

  template <class Visitor, class Progress>
  bool block(const BlockStart& start, Progress& progress, Visitor& visitor, Counter& counter);

  // Fixed shapes with at least three interior cells, with log-probabilities:
  // the third-last cell as a loop around the blocks, from its present value
  // to its high, which it is left at. Each value starts its block from
  // formulas in that value, without a carry, a refill or array reads.
  template <class Visitor, class Progress>
  bool thirdLastLoop(Progress& progress, Visitor& visitor, Counter& counter);

  template <class Visitor, class Progress>
  bool twoByTwo(Progress& progress, Visitor& visitor, Counter& counter);

  // Sums of ln(x!) strictly between low and high belong to log-probabilities
  // strictly inside the visitor's no-op bounds, however the sum was rounded.
  struct Screen {
    double low;
    double high;
  };
  // Every term of the sum is >= 0, so any order of its additions stays within
  // (cells - 1) units of rounding of the exact sum, relative to the sum: the
  // estimate and the sum that the log-probability takes differ by at most
  // twice that. The screen is narrowed by eight times it, relative to the
  // estimate, and by the same relative to the values the log-probability is
  // formed from, for the subtraction from marginConst. Infinite or NaN bounds
  // give a screen that skips nothing.
  template <class Visitor>
  Screen screenFor(const Visitor& visitor) const {
    const auto bounds = visitor.noOpBounds();
    const double cells = static_cast<double>(rows()) * cols();
    const double slack = 8.0 * (cells + 2.0) * 0x1p-53;
    const double mc = logMarginConst_;
    const double low =
        (mc - bounds.high + slack * (std::fabs(mc) + std::fabs(bounds.high))) / (1.0 - slack);
    const double high =
        (mc - bounds.low - slack * (std::fabs(mc) + std::fabs(bounds.low))) / (1.0 + slack);
    return {low, high};
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

  const int r_;
  const int c_;
  const int m_;            // interior positions
  const int lastKeptRow_;  // interior row and column of position m-3
  const int lastKeptCol_;
  const double* const logFactorial_;
  const double logMarginConst_;

  Buffer<int32_t, R> rowMargin_;
  Buffer<int32_t, C> colMargin_;
  Buffer<int32_t, C> colSuffix_;  // sum of the column margins from j on

  static constexpr int kM = (R && C) ? (R - 1) * (C - 1) : 0;
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
};

template <int R, int C>
template <bool kLog>
inline void Kernel<R, C>::setCell(int q, int i, int j, int32_t value) {
  cell_.data()[q] = value;
  if constexpr (kLog) {
    const double* lf = logFactorial_;
    logSum_.data()[q] = (q == 0 ? 0.0 : logSum_.data()[q - 1]) + lf[value];
    if (i == rows() - 2) rowLog_.data()[j] = splat(lf[colRest_.data()[q] - value]);
    if (j == cols() - 2) colLog_.data()[i] = splat(lf[rowRest_.data()[q] - value]);
  }
}

template <int R, int C>
template <bool kLog>
void Kernel<R, C>::refill(int from, int i, int j, int to) {
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
    high_.data()[q] = std::min(cr, rr);
    setCell<kLog>(q, i, j, std::max<int32_t>(0, cr + rr - t));
    if (++i == h) {
      i = 0;
      ++j;
    }
  }
}

template <int R, int C>
template <bool kLog>
[[gnu::always_inline]] inline bool Kernel<R, C>::carry(int q, int i, int j) {
  const int h = rows() - 1;
  const int kept = m_ - 2;  // positions held in the arrays
  const int32_t* cell = cell_.data();
  const int32_t* high = high_.data();
  if (q < 0) return false;
  while (cell[q] == high[q]) {
    if (--q < 0) return false;
    if (--i < 0) {
      i = h - 1;
      --j;
    }
  }
  setCell<kLog>(q, i, j, cell[q] + 1);
  if (q + 1 < kept) {
    if (++i == h) {
      i = 0;
      ++j;
    }
    refill<kLog>(q + 1, i, j, kept);
  }
  return true;
}

template <int R, int C>
template <class Visitor, class Progress>
PassResult Kernel<R, C>::run(Progress& progress, Visitor& visitor) {
  constexpr bool kLog = Visitor::kNeedsLogProb;
  if (!cornerConsistent()) {
    // The first table is counted and marked, then fails its corner check.
    if (progress.nextMarkAt() <= 1) progress.reach(1);
    stopRun(kCornerMessage);
  }
  Counter counter{0, progress.nextMarkAt()};
  // (A fixed shape compiles only the case it is.)
  if constexpr (kM == 0 || kM == 1) {
    if (m_ == 1) {
      const bool completed = twoByTwo(progress, visitor, counter);
      return {counter.count, completed};
    }
  }
  if constexpr (kM != 1) {
    refill<kLog>(0, 0, 0, m_ - 2);
    if constexpr (kM == 0 || kM == 2) {
      if (m_ == 2) {
        const bool completed = block(blockStart(), progress, visitor, counter);
        return {counter.count, completed};
      }
    }
  }
  if constexpr (kLog && kM > 2) {
    constexpr int h = R - 1;
    constexpr int q = kM - 4;  // the last held position before the third-last cell
    do {
      if (!thirdLastLoop(progress, visitor, counter)) return {counter.count, false};
    } while (carry<kLog>(q, q >= 0 ? q % h : 0, q >= 0 ? q / h : 0));
  } else if constexpr (kM == 0 || kM > 2) {
    do {
      if (!block(blockStart(), progress, visitor, counter)) return {counter.count, false};
    } while (carry<kLog>(m_ - 3, lastKeptRow_, lastKeptCol_));
  }
  return {counter.count, true};
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
  for (int32_t x = lo; x <= hi; ++x) {
    tick(progress, counter);
    double logProb = 0.0;
    if constexpr (Visitor::kNeedsLogProb) {
      double s = 0.0 + lf[x];
      s += lf[cm0 - x];
      s += lf[rm0 - x];
      s += lf[cornerBase + x];
      logProb = logMarginConst_ - s;
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
  const int c = cols();
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
    const DoublePair* rowLog = rowLog_.data();
    const DoublePair* colLog = colLog_.data();
    const double marginConst = logMarginConst_;
    const double before = start.before;
    // The corner closes the 2 x 2 sub-table of total rest2 that x sits in.
    const Index cornerBase = r >= 3 ? rest2 - fixed - colRest1 : rest2 - rowRest1 - fixed;
    // Derived cells held in rowLog/colLog: last-row cells of columns 0..c-3
    // (r >= 3) or 0..c-4 (one interior row), last-column cells of rows 0..r-4.
    const int rowHeld = r >= 3 ? c - 2 : c - 3;
    const int colHeld = r - 3;

    // A visitor with no-op bounds lets the block, or tables of its runs, be
    // skipped when the sums of ln(x!) are clearly inside them.
    constexpr bool kScreens = requires { visitor.noOpBounds(); };
    Screen screen{};
    if constexpr (kScreens) {
      screen = screenFor(visitor);
      // The whole block at once: every term's range over the block gives
      // bounds on every table's sum. ln(k!) does not fall as k rises, so each
      // term is least and greatest at the ends of its argument's range: x1 in
      // [lo1, hi1], x in [xMin, xMax], y = x1 + x in [yMin, yMax]. Skipped
      // only when no progress mark falls inside the block.
      const Index xMin = std::max<Index>(0, lowBase - hi1L);
      const Index xMax = std::min(u0L - lo1L, fixedL);
      const Index yMin = std::max(lo1L, lowBase);
      const Index yMax = std::min(u0L, hi1L + fixedL);
      // The derived cells k1 - x1 and kY - y (which margin each takes away
      // from depends on the shape).
      const Index k1 = r >= 3 ? rowRest1L : colRest1L;
      const Index kY = r >= 3 ? colRest1L : rowRest1L;
      double held = addInOrder<kHeldRowTerms>(before, rowLog, rowHeld);
      if (r >= 3) held = addInOrder<kHeldColTerms>(held, colLog, colHeld);
      const double least = held + lf[lo1L] + lf[xMin] + lf[kY - yMax] + lf[k1 - hi1L] +
                           lf[fixedL - xMax] + lf[cornerBase + yMin];
      const double greatest = held + lf[hi1L] + lf[xMax] + lf[kY - yMin] + lf[k1 - lo1L] +
                              lf[fixedL - xMin] + lf[cornerBase + yMax];
      if (least > screen.low && greatest < screen.high) {
        uint64_t tables = 0;
        for (Index x1 = lo1L; x1 <= hi1L; ++x1) {
          tables += static_cast<uint64_t>(std::min(u0L - x1, fixedL) -
                                          std::max<Index>(0, lowBase - x1) + 1);
        }
        if (counter.count + tables < counter.markAt) {
          counter.count += tables;
          return leave(true);
        }
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
        const DoublePair slotPair = splat(slot);
        const Index w = cornerBase + x1;
        Index x = lo;
        // The terms of table x in their order, or of tables x and x + 1 in
        // the two lanes: `rising` reads ln(i!) (and ln((i+1)!)), `falling`
        // ln(i!) (and ln((i-1)!)) for a cell that falls as x rises. With
        // `rising` absent, only the terms fixed along the run.
        auto terms = [&](auto first, auto rising, auto falling, auto slotTerm) {
          constexpr bool kFixedOnly = std::is_same_v<decltype(rising), std::nullptr_t>;
          auto sum = first;
          if constexpr (!kFixedOnly) sum += rising(x);
          sum = addInOrder<kHeldRowTerms>(sum, rowLog, rowHeld);
          if (r >= 3) {
            if constexpr (!kFixedOnly) sum += falling(u - x);
            sum = addInOrder<kHeldColTerms>(sum, colLog, colHeld);
            sum += slotTerm;
          } else {
            sum += slotTerm;
            if constexpr (!kFixedOnly) sum += falling(u - x);
          }
          if constexpr (!kFixedOnly) {
            sum += falling(v - x);
            sum += rising(w + x);
          }
          return sum;
        };
        // The terms that stay fixed along the run, for the screening estimate.
        double fixedTerms = 0.0;
        if constexpr (kScreens) fixedTerms = terms(before1, nullptr, nullptr, slot);
        // The same terms with the fixed ones added first, for the screen.
        auto estimate = [&](auto rising, auto falling) {
          return fixedTerms + rising(x) + falling(u - x) + falling(v - x) + rising(w + x);
        };
        auto one = [lf](Index i) { return lf[i]; };
        auto risingPair = [lf](Index i) { return loadPair(lf + i); };
        auto fallingPair = [lf](Index i) { return loadPairReversed(lf + (i - 1)); };
        // Tables x and x + 1 together; every index read stays within the
        // cells of one of the two.
        for (; x < hi; x += 2) {
          if constexpr (kScreens) {
            const DoublePair sum = estimate(risingPair, fallingPair);
            const auto skipped = (sum > screen.low) & (sum < screen.high);
            if (skipped[0] & skipped[1]) {
              tickTwo(progress, counter);
              continue;
            }
          }
          const DoublePair logProb =
              marginConst - terms(splat(before1), risingPair, fallingPair, slotPair);
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
          if constexpr (kScreens) screen = screenFor(visitor);
        }
        if (x == hi) {
          tick(progress, counter);
          if constexpr (kScreens) {
            const double sum = estimate(one, one);
            if (sum > screen.low && sum < screen.high) continue;
          }
          const double logProb = marginConst - terms(before1, one, one, slot);
          if (!visitor.visit(logProb,
                             Table(*this, static_cast<int32_t>(x1), static_cast<int32_t>(x))))
            return leave(false);
          if constexpr (kScreens) screen = screenFor(visitor);
        }
      }
      return leave(true);
    }

    // ln(x!) tables shifted so that each derived cell is one index away:
    // with y = x1 + x, r >= 3 reads colRest1 - y, rowRest1 - x1, fixed - x;
    // one interior row reads colRest1 - x1, fixed - x, rowRest1 - y.
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
      double s = before + lf[x1];
      s += lf[x];
      s = addInOrder<kHeldRowTerms>(s, rowLog, rowHeld);
      if (r >= 3) {
        s += lfColRest1[-y];
        s = addInOrder<kHeldColTerms>(s, colLog, colHeld);
        s += lfRowRest1[-x1];
        s += lfFixed[-x];
      } else {
        s += lfColRest1[-x1];
        s += lfFixed[-x];
        s += lfRowRest1[-y];
      }
      s += lfCorner[y];
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

template <int R, int C>
void Kernel<R, C>::copyTable(int32_t secondLast, int32_t last, int16_t* cells) const {
  const int r = rows();
  const int c = cols();
  const int h = r - 1;
  const int32_t* cell = cell_.data();
  auto interior = [&](int i, int j) -> int32_t {
    const int q = j * h + i;
    if (q == m_ - 1) return last;
    if (q == m_ - 2) return secondLast;
    return cell[q];
  };
  int32_t lastRowSum = 0;
  for (int j = 0; j + 1 < c; ++j) {
    int32_t columnSum = 0;
    for (int i = 0; i < h; ++i) {
      const int32_t x = interior(i, j);
      cells[i * c + j] = static_cast<int16_t>(x);
      columnSum += x;
    }
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

// The kernel with the shape read at run time, whatever the shape.
template <class Visitor, class Progress>
PassResult runPassAnyShape(const Problem& input, Progress& progress, Visitor& visitor) {
  Kernel<0, 0> kernel(input);
  return kernel.run(progress, visitor);
}

// Shapes compiled with r and c as constants, as 100 r + c: 3 x 3, 4 x 4,
// 5 x 5, and 2 x 3, 3 x 6, 2 x 10 with their transposes. Each fixed shape is
// one more instantiation of the kernel for every visitor type, so the list
// stays short: in other shapes each table adds so many derived cells, or the
// distribution is so small, that the loop overhead of the run-time shape is a
// small part of the cost (in 5 x 5 itself the run-time shape costs about a
// sixth more per table with exp() taken).
inline constexpr std::array<int, 9> kFixedShapes{303, 404, 505, 203, 302, 306, 603, 210, 1002};

template <size_t I, class Visitor, class Progress>
PassResult runPassFixedShape(const Problem& input, Progress& progress, Visitor& visitor) {
  if constexpr (I == std::size(kFixedShapes)) {
    return enumeration_detail::runPassAnyShape(input, progress, visitor);
  } else {
    constexpr int kR = kFixedShapes[I] / 100;
    constexpr int kC = kFixedShapes[I] % 100;
    if (input.r == kR && input.c == kC) {
      Kernel<kR, kC> kernel(input);
      return kernel.run(progress, visitor);
    }
    return runPassFixedShape<I + 1>(input, progress, visitor);
  }
}

}  // namespace enumeration_detail

template <class Visitor, class Progress>
PassResult runPass(const Problem& input, Progress& progress, Visitor& visitor) {
  return enumeration_detail::runPassFixedShape<0>(input, progress, visitor);
}

// The same pass with the shape read at run time for every shape: for passes
// whose per-table work is not what costs (one table, a pass that stops early,
// a pass that writes every table), so that they add one instantiation of the
// kernel instead of one per fixed shape.
template <class Visitor, class Progress>
PassResult runPassAnyShape(const Problem& input, Progress& progress, Visitor& visitor) {
  return enumeration_detail::runPassAnyShape(input, progress, visitor);
}

}  // namespace rxc
