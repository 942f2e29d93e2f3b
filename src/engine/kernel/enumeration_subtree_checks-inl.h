// Part of engine/kernel/enumeration_kernel.h, included by it alone: the kernel's
// checks of whole subtrees (enumeration_subtrees.h). Not a header of its own.
#pragma once

// Included alone (a tool, a reader), it brings the kernel it belongs to;
// the kernel's own include of this file is then skipped by #pragma once.
#include "engine/kernel/enumeration_kernel.h"

namespace rxc::enumeration_detail {

template <int R, int C>
template <class Progress>
inline void Kernel<R, C>::countUnvisited(Progress& progress, Counter& counter, uint64_t n) {
  counter.markAt = passMarks(progress, counter.count, counter.count + n, counter.markAt);
  counter.count += n;
}

template <int R, int C>
template <class Visitor, class Progress>
int Kernel<R, C>::skipSubtree(int from, SubtreeSkipper& skipper, Progress& progress,
                              const Visitor& visitor, Counter& counter) {
  // The deepest position's subtree is the third-last cell's loop. A pass
  // that does not screen single tables checks it only where the loop has a
  // few blocks left: a check costs about what judging four or five blocks
  // does. (In 5 x 5 with every marginal 6, Fisher's pass took 2.6 % more
  // instructions checking loops of any length, and 1.5 % more from 3 blocks
  // on, than from 5.)
  int last = m_ - 1 - kPositionsBelowACheck;
  if constexpr (!screensEachTable<Visitor>()) {
    const int third = m_ - 3;
    if (high_.data()[third] - cell_.data()[third] + 1 < kLoopCheckBlocks) --last;
  }
  if (from > last) return -1;
  // Most steps find no position due: the screen is made for the first one.
  Screen screen{};
  bool screenMade = false;
  for (int q = from; q <= last; ++q) {
    if (!skipper.due(q)) continue;
    if (!screenMade) {
      screen = screenOf(visitor);
      screenMade = true;
    }
    bool skipped = false;
    const SumSpan range = subtreeRange(q, logSum_.data()[q], skipper);
    if (screen.covers(range.least, range.greatest)) {
      const int h = rows() - 1;
      const int i0 = q % h;
      const int j0 = q / h;
      const bool boundary = i0 == h - 1;
      const CompletionCount n = skipper.counter().count(
          skipper.open(rows(), cols(), boundary ? j0 + 1 : j0, boundary ? 0 : i0 + 1),
          kCountWorkPerCheck);
      if (n.exact() && n.value <= std::numeric_limits<uint64_t>::max() - counter.count) {
        countUnvisited(progress, counter, static_cast<uint64_t>(n.value));
        auditSkip(visitor, q, cell_.data()[q], cell_.data()[q], static_cast<uint64_t>(n.value));
        skipped = true;
      }
    }
    skipper.record(q, skipped);
    if (skipped) return q;
  }
  return -1;
}

// Fills the skipper's needs for the subtree at position q (interior row i0,
// column j0) and bounds the sums of its tables. At a column boundary (i0 the
// last interior row) the forced last-row cell is counted with the fixed
// cells, and the open cells start at the next column.
template <int R, int C>
SumSpan Kernel<R, C>::subtreeRange(int q, double interiorSum, SubtreeSkipper& skipper) const {
  const int r = rows();
  const int c = cols();
  const int h = r - 1;
  const int i0 = q % h;
  const int j0 = q / h;
  const bool boundary = i0 == h - 1;
  const int32_t* cell = cell_.data();
  const int32_t* colRest = colRest_.data();
  const int32_t* rowRest = rowRest_.data();
  int32_t* rowNeed = skipper.rowNeed();
  int32_t* colNeed = skipper.colNeed();
  for (int i = 0; i < h; ++i) {
    if (i > i0 && j0 == 0) {
      rowNeed[i] = rowMargin_.data()[i];
    } else {
      const int p = (i <= i0 ? j0 : j0 - 1) * h + i;  // the row's last fixed cell
      rowNeed[i] = rowRest[p] - cell[p];
    }
  }
  // The last row gives what its fixed (derived) cells took; they join the
  // fixed sum of ln(x!).
  const int closedColumns = boundary ? j0 + 1 : j0;
  int32_t lastRowNeed = rowMargin_.data()[h];
  double fixedSum = interiorSum;
  for (int j = 0; j < closedColumns; ++j) {
    const int p = j * h + h - 1;
    lastRowNeed -= colRest[p] - cell[p];
    fixedSum += rowLog_.data()[j][0];
  }
  rowNeed[h] = lastRowNeed;
  const int column = boundary ? j0 + 1 : j0;
  for (int j = column; j < c; ++j) colNeed[j] = colMargin_.data()[j];
  if (!boundary) colNeed[j0] = colRest[q] - cell[q];
  const SumBounds open =
      boundOpenCellsByRows(skipper.open(r, c, column, boundary ? 0 : i0 + 1), logFactorial_);
  // The fixed sum and the bounds are computed in their own order: widened by
  // the subtree slack (rounding_budget.h).
  const double slack = subtreeSlack(r, c);
  return {(fixedSum + open.least) * (1.0 - slack), (fixedSum + open.greatest) * (1.0 + slack)};
}

}  // namespace rxc::enumeration_detail
