// The enumeration kernel: the walk over the interior cells and the table view
// handed to visitors. Included by engine/enumeration.h; see the contract there.
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
// beside it (rowRest - cell). Their ln(x!) are held when the position is set.
//
// The last two positions (x1, then x) are not kept in the arrays: a block
// (enumeration_blocks.h) runs them as two loops, in which every derived cell
// that depends on them is an affine function of x1 and x. The additions of a
// table's sum go through enumeration_terms.h.
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
#include <vector>

#include "base/debug_checks.h"
#include "base/double_pair.h"
#include "base/fatal_stop.h"
#include "engine/enumeration_screen.h"
#include "engine/enumeration_terms.h"
#include "engine/problem.h"

namespace rxc {

struct PassResult {
  uint64_t tableCount = 0;  // tables generated in this pass (the last one included)
  bool completed = false;   // true when the distribution was exhausted
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

  explicit Kernel(const Problem& problem);

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

  // --- Blocks (enumeration_blocks.h) ---

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

  // 2 x 2: the single interior cell.
  template <class Visitor, class Progress>
  bool twoByTwo(Progress& progress, Visitor& visitor, Counter& counter);

  // The held derived cells a block's tables add.
  HeldTerms heldTerms() const;

  template <class Visitor>
  Screen screenOf(const Visitor& visitor) const {
    return screenFor(visitor.noOpRanges(), logMarginConst_, rows() * cols());
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

  static constexpr int kM = (R && C) ? (R - 1) * (C - 1) : 0;

  const int r_;
  const int c_;
  const int m_;            // interior positions
  const int lastKeptRow_;  // interior row and column of position m-3
  const int lastKeptCol_;
  const double* const logFactorial_;
  const int logFactorialSize_;  // entries that may be read
  const double logMarginConst_;

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
};

template <int R, int C>
Kernel<R, C>::Kernel(const Problem& problem)
    : r_(R ? R : problem.r),
      c_(C ? C : problem.c),
      m_((r_ - 1) * (c_ - 1)),
      lastKeptRow_(m_ >= 3 ? (m_ - 3) % (r_ - 1) : 0),
      lastKeptCol_(m_ >= 3 ? (m_ - 3) / (r_ - 1) : 0),
      logFactorial_(problem.logFactorial.data()),
      logFactorialSize_(problem.logFactorial.filled() + 1),
      logMarginConst_(problem.logMarginConst) {
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

}  // namespace enumeration_detail
}  // namespace rxc

#include "engine/enumeration_blocks.h"
