// The enumeration kernel: runPass() and the table view handed to visitors.
// Included by engine/enumeration.h; see the contract there.
//
// Layout. The interior cells are held as one sequence of positions in
// column-major order, q = j * (r-1) + i (0-based interior row i, column j).
// Every position keeps what its bounds were computed from, so a carry refills
// only the positions after the one that moved:
//   colRest  what the cell's column still needs in this row and below,
//   rowRest  what the cell's row still needs in this column and to the right,
//   rest     the total of the sub-table from this row and column on,
//   low = max(0, colRest + rowRest - rest), high = min(colRest, rowRest),
//   logSum   ln(x!) of the interior cells summed up to this one.
//
// The last two positions are not kept in the arrays: they are two nested
// loops (block()), the last one innermost (innerRun()). Within a run of the
// last cell x, every derived cell is either constant or an affine function of
// x, so a table costs the ln(x!) lookups of x and of the three derived cells
// that move with it, plus the fixed chain of additions.
//
// Bit-identity. Every log-probability is formed with the additions of the
// plain algorithm, in its order: the running sum of the interior cells, then
// the last-row cells, the last-column cells and the corner. Derived cells of
// 0 or 1 add ln 0! = ln 1! = +0.0, which leaves a non-negative sum unchanged,
// so adding them is the same as skipping them; nothing is ever regrouped.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "dialogue/fatal_stop.h"
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

inline constexpr const char* kCornerMessage = " Error ultimo elemento. Contactar con el autor";

// R, C: the shape when known at compile time, 0 for a shape read at run time.
template <int R, int C>
class Kernel {
 public:
  // The table being visited: the kernel's arrays plus the two loop counters.
  class Table {
   public:
    Table(const Kernel& kernel, int secondLast, int last)
        : kernel_(kernel), secondLast_(secondLast), last_(last) {}
    int rows() const { return kernel_.rows(); }
    int cols() const { return kernel_.cols(); }
    // The complete table, r x c cells, row-major.
    void copyTo(int16_t* cells) const { kernel_.copyTable(secondLast_, last_, cells); }

   private:
    const Kernel& kernel_;
    int secondLast_;
    int last_;
  };

  explicit Kernel(const EnumerationInput& input)
      : r_(R ? R : input.r),
        c_(C ? C : input.c),
        m_((r_ - 1) * (c_ - 1)),
        n_(input.n),
        logFactorial_(input.logFactorial),
        logMarginConst_(input.logMarginConst) {
    rowMargin_.resize(r_);
    colMargin_.resize(c_);
    colSuffix_.resize(c_);
    constRow_.resize(c_);
    constCol_.resize(r_);
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
  static constexpr int kConstRowCount = C ? C - 2 : -1;  // -1: read at run time
  static constexpr int kConstColCount = R ? R - 2 : -1;

  // The two values that every table's corner is derived from differ by the
  // difference of the margins' totals, the same for every table; returns
  // whether they agree.
  bool cornerConsistent() const {
    int32_t rowTotal = 0;
    int32_t colTotal = 0;
    for (int i = 0; i < rows(); ++i) rowTotal += rowMargin_.data()[i];
    for (int j = 0; j < cols(); ++j) colTotal += colMargin_.data()[j];
    return rowTotal == colTotal;
  }

  // Sets positions from..to-1 to their lower bounds, each bound computed from
  // the positions before it.
  template <bool kLog>
  void refill(int from, int to);

  // Advances the positions before the last two; false when the pass is over.
  template <bool kLog>
  bool carry();

  // The derived cells and sums that do not move within one run of the last cell.
  struct RunTerms {
    double logSumBefore;  // interior cells up to and including the second-last
    int32_t u;            // last-row cell above which the last cell sits: u - x
    int32_t v;            // last-column cell of the last cell's row: v - x
    int32_t w;            // corner: w + x
  };

  template <class Visitor, class Progress>
  bool block(Progress& progress, Visitor& visitor, uint64_t& count);

  template <class Visitor, class Progress>
  bool innerRun(int secondLast, int lo, int hi, const RunTerms& terms, Progress& progress,
                Visitor& visitor, uint64_t& count);

  void copyTable(int secondLast, int last, int16_t* cells) const;

  const int r_;
  const int c_;
  const int m_;  // interior positions
  const int32_t n_;
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

  // ln(x!) of the derived cells that stay fixed within a run of the last
  // cell, in the order they are added: last-row cells (c-2 of them), then
  // last-column cells (r-2).
  Buffer<double, C> constRow_;
  Buffer<double, R> constCol_;
};

template <int R, int C>
template <bool kLog>
void Kernel<R, C>::refill(int from, int to) {
  const int h = rows() - 1;  // interior rows
  int32_t* cell = cell_.data();
  int32_t* high = high_.data();
  int32_t* colRest = colRest_.data();
  int32_t* rowRest = rowRest_.data();
  int32_t* rest = rest_.data();
  double* logSum = logSum_.data();
  int i = from % h;
  int j = from / h;
  for (int q = from; q < to; ++q) {
    int32_t cr, rr, t;
    if (i == 0) {
      cr = colMargin_.data()[j];
      t = colSuffix_.data()[j];
    } else {
      cr = colRest[q - 1] - cell[q - 1];
      t = rest[q - 1] - rowRest[q - 1];
    }
    rr = j == 0 ? rowMargin_.data()[i] : rowRest[q - h] - cell[q - h];
    colRest[q] = cr;
    rowRest[q] = rr;
    rest[q] = t;
    const int32_t low = std::max<int32_t>(0, cr + rr - t);
    high[q] = std::min(cr, rr);
    cell[q] = low;
    if constexpr (kLog) logSum[q] = (q == 0 ? 0.0 : logSum[q - 1]) + logFactorial_[low];
    if (++i == h) {
      i = 0;
      ++j;
    }
  }
}

template <int R, int C>
template <bool kLog>
bool Kernel<R, C>::carry() {
  const int kept = m_ - 2;  // positions held in the arrays
  int32_t* cell = cell_.data();
  const int32_t* high = high_.data();
  int q = kept - 1;
  while (q >= 0 && cell[q] == high[q]) --q;
  if (q < 0) return false;
  ++cell[q];
  if constexpr (kLog) {
    double* logSum = logSum_.data();
    logSum[q] = (q == 0 ? 0.0 : logSum[q - 1]) + logFactorial_[cell[q]];
  }
  refill<kLog>(q + 1, kept);
  return true;
}

template <int R, int C>
template <class Visitor, class Progress>
PassResult Kernel<R, C>::run(Progress& progress, Visitor& visitor) {
  constexpr bool kLog = Visitor::kNeedsLogProb;
  PassResult result;
  if (!cornerConsistent()) {
    // The first table is counted and marked, then fails its corner check.
    result.tableCount = 1;
    if (result.tableCount >= progress.nextMarkAt()) progress.reach(result.tableCount);
    stopRun(kCornerMessage);
  }
  uint64_t count = 0;
  if (m_ == 1) {
    // 2 x 2: the single interior cell is the last cell.
    const int32_t cm0 = colMargin_.data()[0];
    const int32_t rm0 = rowMargin_.data()[0];
    const int32_t lo = std::max<int32_t>(0, cm0 + rm0 - colSuffix_.data()[0]);
    const int32_t hi = std::min(cm0, rm0);
    const RunTerms terms{0.0, cm0, rm0, rowMargin_.data()[1] - cm0};
    if (!innerRun(0, lo, hi, terms, progress, visitor, count)) return {count, false};
    return {count, true};
  }
  refill<kLog>(0, m_ - 2);
  do {
    if (!block(progress, visitor, count)) return {count, false};
  } while (carry<kLog>());
  return {count, true};
}

template <int R, int C>
template <class Visitor, class Progress>
bool Kernel<R, C>::block(Progress& progress, Visitor& visitor, uint64_t& count) {
  constexpr bool kLog = Visitor::kNeedsLogProb;
  const int r = rows();
  const int c = cols();
  const int h = r - 1;
  const int p1 = m_ - 2;  // second-last position
  const int p2 = m_ - 1;  // last position
  const int32_t* cell = cell_.data();
  const int32_t* colRest = colRest_.data();
  const int32_t* rowRest = rowRest_.data();
  const int32_t* rest = rest_.data();
  const int32_t* rowMargin = rowMargin_.data();
  const int32_t* colMargin = colMargin_.data();
  const double* lf = logFactorial_;

  // Bounds of the second-last cell, and those of the last cell as functions
  // of it: low2 = max(0, u0 - x1 + fixed - rest2), high2 = min(u0 - x1, fixed).
  int32_t colRest1, rowRest1, rest1, u0, fixed, rest2;
  if (r >= 3) {
    // Both cells in the last interior column, rows r-3 and r-2.
    if (r == 3) {
      colRest1 = colMargin[c - 2];
      rest1 = colSuffix_.data()[c - 2];
    } else {
      colRest1 = colRest[p1 - 1] - cell[p1 - 1];
      rest1 = rest[p1 - 1] - rowRest[p1 - 1];
    }
    rowRest1 = c == 2 ? rowMargin[r - 3] : rowRest[p1 - h] - cell[p1 - h];
    u0 = colRest1;
    fixed = c == 2 ? rowMargin[r - 2] : rowRest[p2 - h] - cell[p2 - h];
    rest2 = rest1 - rowRest1;
  } else {
    // A single interior row: the cells of columns c-3 and c-2.
    colRest1 = colMargin[c - 3];
    rest1 = colSuffix_.data()[c - 3];
    rowRest1 = c == 3 ? rowMargin[0] : rowRest[p1 - 1] - cell[p1 - 1];
    u0 = rowRest1;
    fixed = colMargin[c - 2];
    rest2 = colSuffix_.data()[c - 2];
  }
  const int32_t lo1 = std::max<int32_t>(0, colRest1 + rowRest1 - rest1);
  const int32_t hi1 = std::min(colRest1, rowRest1);

  double logSumBefore = 0.0;
  int32_t cornerBase = 0;
  if constexpr (kLog) {
    logSumBefore = p1 == 0 ? 0.0 : logSum_.data()[p1 - 1];
    // Derived cells that stay fixed in the whole block. Their ln(x!) go into
    // constRow_/constCol_; the one entry that moves with the second-last cell
    // is written per value of it below.
    double* constRow = constRow_.data();
    double* constCol = constCol_.data();
    int32_t fixedRowSum = 0;
    if (r >= 3) {
      for (int j = 0; j + 2 < c; ++j) {
        const int q = j * h + (r - 2);
        const int32_t d = colRest[q] - cell[q];
        fixedRowSum += d;
        constRow[j] = lf[d];
      }
      for (int i = 0; i + 3 < r; ++i) {
        const int q = (c - 2) * h + i;
        constCol[i] = lf[rowRest[q] - cell[q]];
      }
      cornerBase = rowMargin[r - 1] - fixedRowSum - colRest1;
    } else {
      for (int j = 0; j + 3 < c; ++j) {
        const int32_t d = colMargin[j] - cell[j];
        fixedRowSum += d;
        constRow[j] = lf[d];
      }
      cornerBase = rowMargin[1] - fixedRowSum - colRest1 - fixed;
    }
  }

  for (int32_t x1 = lo1; x1 <= hi1; ++x1) {
    const int32_t ux = u0 - x1;
    const int32_t lo2 = std::max<int32_t>(0, ux + fixed - rest2);
    const int32_t hi2 = std::min(ux, fixed);
    RunTerms terms{0.0, 0, 0, 0};
    if constexpr (kLog) {
      terms.logSumBefore = logSumBefore + lf[x1];
      if (r >= 3) {
        constCol_.data()[r - 3] = lf[rowRest1 - x1];
        terms.u = colRest1 - x1;
        terms.v = fixed;
      } else {
        constRow_.data()[c - 3] = lf[colRest1 - x1];
        terms.u = fixed;
        terms.v = rowRest1 - x1;
      }
      terms.w = cornerBase + x1;
    }
    if (!innerRun(x1, lo2, hi2, terms, progress, visitor, count)) return false;
  }
  return true;
}

template <int R, int C>
template <class Visitor, class Progress>
bool Kernel<R, C>::innerRun(int secondLast, int lo, int hi, const RunTerms& terms,
                            Progress& progress, Visitor& visitor, uint64_t& count) {
  constexpr bool kLog = Visitor::kNeedsLogProb;
  const int nRow = kConstRowCount >= 0 ? kConstRowCount : cols() - 2;
  const int nCol = kConstColCount >= 0 ? kConstColCount : rows() - 2;
  const double* lf = logFactorial_;
  const double* constRow = constRow_.data();
  const double* constCol = constCol_.data();
  const double marginConst = logMarginConst_;
  const double before = terms.logSumBefore;
  const int32_t u = terms.u;
  const int32_t v = terms.v;
  const int32_t w = terms.w;

  auto logProb = [&](int32_t x) -> double {
    if constexpr (kLog) {
      double s = before + lf[x];
      for (int k = 0; k < nRow; ++k) s += constRow[k];
      s += lf[u - x];
      for (int k = 0; k < nCol; ++k) s += constCol[k];
      s += lf[v - x];
      s += lf[w + x];
      return marginConst - s;
    } else {
      (void)x;
      return 0.0;
    }
  };

  const uint64_t n = static_cast<uint64_t>(hi - lo + 1);
  if (count + n < progress.nextMarkAt()) {
    // No progress mark falls in this run.
    for (int32_t x = lo; x <= hi; ++x) {
      if (!visitor.visit(logProb(x), Table(*this, secondLast, x))) {
        count += static_cast<uint64_t>(x - lo + 1);
        return false;
      }
    }
    count += n;
    return true;
  }
  for (int32_t x = lo; x <= hi; ++x) {
    ++count;
    if (count >= progress.nextMarkAt()) progress.reach(count);
    if (!visitor.visit(logProb(x), Table(*this, secondLast, x))) return false;
  }
  return true;
}

template <int R, int C>
void Kernel<R, C>::copyTable(int secondLast, int last, int16_t* cells) const {
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
PassResult runPassAnyShape(const EnumerationInput& input, Progress& progress, Visitor& visitor) {
  Kernel<0, 0> kernel(input);
  return kernel.run(progress, visitor);
}

}  // namespace enumeration_detail

template <class Visitor, class Progress>
PassResult runPass(const EnumerationInput& input, Progress& progress, Visitor& visitor) {
  return enumeration_detail::runPassAnyShape(input, progress, visitor);
}

}  // namespace rxc
