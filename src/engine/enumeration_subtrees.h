// Whole subtrees judged at once. Once the first interior cells of a table are
// fixed (up to position q, in generation order), the tables that share them
// form a subtree: every way of filling the open cells (open_cells.h). When
// bounds on the sum of ln(x!) over those cells place every table of the
// subtree inside one of the visitor's no-op ranges, with a margin for every
// rounding on either side, no table of it can change the visitor; the kernel
// then counts its tables exactly (completion_count.h) instead of walking them,
// writes the progress marks that fall among them, and carries past it.
//
// Where it pays: a check costs a few hundred nanoseconds, some tens of tables
// of the kernel's own work, so subtrees are checked only at positions with at
// least three positions below them (the last block of two cells has its own,
// cheaper screen), and a position whose checks keep failing backs off: after
// four failures in a row it checks only one subtree in 2, 4, ... up to 64,
// until a check succeeds again.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/completion_count.h"
#include "engine/open_cells.h"
#include "engine/open_cells_bounds.h"

namespace rxc::enumeration_detail {

// Positions need at least this many positions below them to be checked.
inline constexpr int kPositionsBelowACheck = 3;

// Work a single count may take before the subtree is walked instead.
inline constexpr uint64_t kCountWorkPerCheck = uint64_t{1} << 14;

class SubtreeSkipper {
 public:
  // `colMargin` holds the c column margins; `positions` the interior
  // positions that may be checked.
  SubtreeSkipper(int rows, int cols, const int32_t* colMargin, int positions)
      : counter_(std::span<const int32_t>(colMargin, static_cast<size_t>(cols))),
        rowNeed_(static_cast<size_t>(rows)),
        colNeed_(colMargin, colMargin + cols),
        failures_(static_cast<size_t>(std::max(positions, 0)), 0),
        wait_(static_cast<size_t>(std::max(positions, 0)), 0) {}

  // Whether the subtree at position q is to be checked now (the back-off).
  bool due(int q) {
    if (wait_[q] == 0) return true;
    --wait_[q];
    return false;
  }
  void record(int q, bool skipped) {
    if (skipped) {
      failures_[q] = 0;
      return;
    }
    constexpr int kFailuresBeforeBackOff = 4;
    constexpr int kLongestWait = 64;
    if (++failures_[q] >= kFailuresBeforeBackOff) {
      const int doublings = std::min(failures_[q] - kFailuresBeforeBackOff, 6);
      wait_[q] = std::min(1 << doublings, kLongestWait) - 1;
    }
  }

  int32_t* rowNeed() { return rowNeed_.data(); }
  int32_t* colNeed() { return colNeed_.data(); }
  OpenCells open(int rows, int cols, int column, int firstRow) const {
    return {rows, cols, column, firstRow, rowNeed_, colNeed_};
  }
  CompletionCounter& counter() { return counter_; }

 private:
  CompletionCounter counter_;
  std::vector<int32_t> rowNeed_;
  std::vector<int32_t> colNeed_;
  std::vector<int> failures_;  // failed checks in a row, per position
  std::vector<int> wait_;      // subtrees to let pass unchecked, per position
};

}  // namespace rxc::enumeration_detail
