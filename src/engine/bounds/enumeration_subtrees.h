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
// cheaper screens), and a position whose checks keep failing backs off
// (CheckBackOff).
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/bounds/completion_count.h"
#include "engine/bounds/enumeration_screen.h"
#include "engine/bounds/open_cells.h"
#include "engine/bounds/open_cells_bounds.h"

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
        backOff_(static_cast<size_t>(std::max(positions, 0))) {}

  // Whether the subtree at position q is to be checked now, and what came of
  // it (each position backs off on its own).
  bool due(int q) { return backOff_[q].due(); }
  void record(int q, bool skipped) { backOff_[q].record(skipped); }

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
  std::vector<CheckBackOff> backOff_;  // per position
};

}  // namespace rxc::enumeration_detail
