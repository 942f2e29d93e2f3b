#include "engine/bounds/open_cells_bounds.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "base/debug_checks.h"
#include "base/small_sort.h"

namespace rxc {

namespace {

constexpr int kMaxCaps = 100;  // a line never has more open cells than r or c

// The caps of a line's open cells, sorted, with running sums from both ends:
// what the line's bounds are read from by binary search.
class CapList {
 public:
  // The first `count` values of `caps` (at most kMaxCaps).
  template <class Caps>
  void assign(const Caps& caps, int count, const double* lf) {
    RXC_DEBUG_ASSERT(count <= kMaxCaps);
    size_ = count;
    std::copy(caps, caps + count, caps_.begin());
    sortSmall(caps_.data(), caps_.data() + count);
    lowSum_[0] = 0;
    lowLf_[0] = 0.0;
    highSum_[0] = 0;
    highLf_[0] = 0.0;
    for (int t = 1; t <= count; ++t) {
      const int32_t low = caps_[t - 1];
      const int32_t high = caps_[count - t];
      lowSum_[t] = lowSum_[t - 1] + low;
      lowLf_[t] = lowLf_[t - 1] + lf[low];
      highSum_[t] = highSum_[t - 1] + high;
      highLf_[t] = highLf_[t - 1] + lf[high];
    }
  }

  // The least sum of lf over the cells for a line needing `need`: the cells
  // whose cap is at most the even share of what is left are filled to the cap
  // (smallest first), the rest share the remainder as evenly as integers go.
  double least(int32_t need, const double* lf) const {
    if (need == 0) return 0.0;
    // One cell takes the whole need (up to its cap): the general steps below
    // come to the same value, lf[min(need, cap)] to the bit.
    if (size_ == 1) return lf[std::min(need, caps_[0])];
    const int k = size_;
    // The capped cells are the first t in ascending order: cell u (1-based)
    // is capped when cap_u * (k - u + 1) <= need - (caps before it). Once a
    // cell is not capped, no later one is, so the first uncapped cell is
    // found by binary search.
    int lo = 1;
    int hi = k + 1;  // the first uncapped cell is in [lo, hi]
    while (lo < hi) {
      const int u = lo + (hi - lo) / 2;
      const int64_t share = static_cast<int64_t>(caps_[u - 1]) * (k - u + 1);
      if (share <= need - lowSum_[u - 1]) {
        lo = u + 1;
      } else {
        hi = u;
      }
    }
    const int capped = lo - 1;
    const int open = k - capped;
    const int64_t left = need - lowSum_[capped];
    if (open == 0) return lowLf_[capped];
    const int64_t level = left / open;
    const int64_t above = left % open;  // cells that take level + 1
    double spread = static_cast<double>(open - above) * lf[level];
    if (above > 0) spread += static_cast<double>(above) * lf[level + 1];
    return lowLf_[capped] + spread;
  }

  // The greatest sum for a line needing `need`: the largest caps filled in
  // turn, the remainder in the next cell.
  double greatest(int32_t need, const double* lf) const {
    if (need == 0) return 0.0;
    if (size_ == 1) return need >= caps_[0] ? highLf_[1] + lf[need - caps_[0]] : lf[need];
    // The full cells: the largest t with highSum_[t] <= need.
    const int64_t* end = highSum_.data() + size_ + 1;
    const int full =
        static_cast<int>(std::upper_bound(highSum_.data(), end, int64_t{need}) - highSum_.data()) -
        1;
    return highLf_[full] + lf[need - highSum_[full]];
  }

 private:
  int size_ = 0;
  std::array<int32_t, kMaxCaps> caps_;
  std::array<int64_t, kMaxCaps + 1> lowSum_;   // sum of the t smallest caps
  std::array<double, kMaxCaps + 1> lowLf_;     // sum of lf over them
  std::array<int64_t, kMaxCaps + 1> highSum_;  // sum of the t largest caps
  std::array<double, kMaxCaps + 1> highLf_;    // sum of lf over them
};

void validate([[maybe_unused]] const OpenCells& open) {
  RXC_DEBUG_ASSERT(open.rows >= 2 && open.rows <= kMaxCaps);
  RXC_DEBUG_ASSERT(open.cols >= 2 && open.cols <= kMaxCaps);
  RXC_DEBUG_ASSERT(open.column >= 0 && open.column < open.cols);
  RXC_DEBUG_ASSERT(open.firstRow >= 0 && open.firstRow < open.rows);
  RXC_DEBUG_ASSERT(static_cast<int>(open.rowNeed.size()) == open.rows);
  RXC_DEBUG_ASSERT(static_cast<int>(open.colNeed.size()) == open.cols);
}

}  // namespace

SumBounds boundOpenCellsByRows(const OpenCells& open, const double* lf) {
  validate(open);
  // Rows above firstRow see the later columns only; the others also see the
  // partly open column.
  const int later = open.cols - 1 - open.column;
  const int32_t* laterNeeds = open.colNeed.data() + open.column + 1;
  std::array<int32_t, kMaxCaps> caps;
  std::copy(laterNeeds, laterNeeds + later, caps.begin());
  caps[later] = open.colNeed[open.column];
  CapList without;
  CapList with;
  without.assign(caps.begin(), later, lf);
  with.assign(caps.begin(), later + 1, lf);
  SumBounds b;
  for (int i = 0; i < open.rows; ++i) {
    const CapList& list = i < open.firstRow ? without : with;
    b.least += list.least(open.rowNeed[i], lf);
    b.greatest += list.greatest(open.rowNeed[i], lf);
  }
  return b;
}

SumBounds boundLastTwoColumnsByRows(const OpenCells& open, const double* lf) {
  validate(open);
  RXC_DEBUG_ASSERT(open.column == open.cols - 2);
  // A row above firstRow has the last column's cell alone, capped by what
  // that column needs; the others have the two, capped by the two columns'
  // needs, `small` <= `large`. The same operations, in the same order, as
  // CapList's for lists of one and two caps.
  const int32_t last = open.colNeed[open.cols - 1];
  const int32_t partly = open.colNeed[open.column];
  const int32_t small = std::min(last, partly);
  const int32_t large = std::max(last, partly);
  SumBounds b;
  for (int i = 0; i < open.rows; ++i) {
    const int32_t need = open.rowNeed[i];
    if (need == 0) continue;  // adds 0.0 to both
    if (i < open.firstRow) {
      b.least += lf[std::min(need, last)];
      b.greatest += need >= last ? lf[last] + lf[need - last] : lf[need];
      continue;
    }
    // The least: both cells capped, the small one capped, or the need split
    // as evenly as integers go.
    if (large <= need - small) {
      b.least += lf[small] + lf[large];
    } else if (int64_t{small} * 2 <= need) {
      b.least += lf[small] + lf[need - small];
    } else {
      const int32_t level = need / 2;
      b.least += need % 2 == 0 ? 2.0 * lf[level] : lf[level] + lf[level + 1];
    }
    // The greatest: the large cell filled first, the rest in the small one.
    if (need >= large + small) {
      b.greatest += lf[large] + lf[small] + lf[need - large - small];
    } else if (need >= large) {
      b.greatest += lf[large] + lf[need - large];
    } else {
      b.greatest += 0.0 + lf[need];
    }
  }
  return b;
}

SumBounds boundOpenCellsByColumns(const OpenCells& open, const double* lf) {
  validate(open);
  // The partly open column sees rows firstRow.. only; later columns see all.
  CapList all;
  CapList lower;
  all.assign(open.rowNeed.data(), open.rows, lf);
  lower.assign(open.rowNeed.data() + open.firstRow, open.rows - open.firstRow, lf);
  SumBounds b;
  for (int j = open.column; j < open.cols; ++j) {
    const CapList& list = j == open.column ? lower : all;
    b.least += list.least(open.colNeed[j], lf);
    b.greatest += list.greatest(open.colNeed[j], lf);
  }
  return b;
}

SumBounds boundOpenCells(const OpenCells& open, const double* lf) {
  const SumBounds rows = boundOpenCellsByRows(open, lf);
  const SumBounds cols = boundOpenCellsByColumns(open, lf);
  return {std::max(rows.least, cols.least), std::min(rows.greatest, cols.greatest)};
}

}  // namespace rxc
