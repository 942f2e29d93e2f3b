#include "engine/kernel/skip_audit.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "engine/bounds/cell_bounds.h"
#include "engine/kernel/enumeration_terms.h"

namespace rxc::enumeration_detail {

namespace {

[[noreturn]] void fail(const char* what, double logProb, uint64_t walked, uint64_t counted) {
  std::fprintf(stderr,
               "skip audit failed: %s (log-probability %.17g; %" PRIu64 " tables walked, %" PRIu64
               " counted)\n",
               what, logProb, walked, counted);
  std::abort();
}

}  // namespace

void SkipAudit::start(int rows, int cols, const int32_t* rowMargin, const int32_t* colMargin,
                      const double* logFactorial, double logMarginConst) {
  r_ = rows;
  c_ = cols;
  lf_ = logFactorial;
  logMarginConst_ = logMarginConst;
  rowMargin_.assign(rowMargin, rowMargin + rows);
  colMargin_.assign(colMargin, colMargin + cols);
  colSuffix_.assign(static_cast<size_t>(cols), 0);
  int32_t suffix = 0;
  for (int j = cols - 1; j >= 0; --j) {
    suffix += colMargin[j];
    colSuffix_[j] = suffix;
  }
  const size_t m = static_cast<size_t>((rows - 1) * (cols - 1));
  for (auto* v : {&cell_, &colRest_, &rowRest_, &rest_, &low_, &high_}) v->assign(m, 0);
  sets_ = 0;
  tablesWalked_ = 0;
}

bool SkipAudit::due(uint64_t tables) {
  if (sets_++ % kEvery != 0) return false;
  return tables <= kLargestSet && tablesWalked_ + tables <= kMostTables;
}

bool SkipAudit::enter(int q, int64_t from, int64_t to) {
  const int h = r_ - 1;
  const int i = q % h;
  const int j = q / h;
  const int32_t cr = i == 0 ? colMargin_[j] : colRest_[q - 1] - cell_[q - 1];
  const int32_t t = i == 0 ? colSuffix_[j] : rest_[q - 1] - rowRest_[q - 1];
  const int32_t rr = j == 0 ? rowMargin_[i] : rowRest_[q - h] - cell_[q - h];
  colRest_[q] = cr;
  rowRest_[q] = rr;
  rest_[q] = t;
  low_[q] = static_cast<int32_t>(std::max<int64_t>(cellLow(cr, rr, t), from));
  high_[q] = static_cast<int32_t>(std::min<int64_t>(cellHigh(cr, rr), to));
  cell_[q] = low_[q];
  return low_[q] <= high_[q];
}

double SkipAudit::logProbability() const {
  const int h = r_ - 1;
  const double* lf = lf_;
  // The interior cells column by column, then the last row left to right,
  // the last column top to bottom, the corner (enumeration_terms.h).
  double sum = kNoInteriorCells;
  for (int32_t x : cell_) sum = addInteriorCell(sum, lf[x]);
  int32_t lastRowTotal = 0;
  for (int j = 0; j + 1 < c_; ++j) {
    int32_t below = colMargin_[j];
    for (int i = 0; i < h; ++i) below -= cell_[j * h + i];
    if (below < 0) fail("a last-row cell below 0", 0.0, 0, 0);
    sum += lf[below];
    lastRowTotal += below;
  }
  for (int i = 0; i < h; ++i) {
    int32_t beside = rowMargin_[i];
    for (int j = 0; j + 1 < c_; ++j) beside -= cell_[j * h + i];
    if (beside < 0) fail("a last-column cell below 0", 0.0, 0, 0);
    sum += lf[beside];
  }
  const int32_t corner = rowMargin_[h] - lastRowTotal;
  if (corner < 0) fail("the corner below 0", 0.0, 0, 0);
  sum += lf[corner];
  return logMarginConst_ - sum;
}

void SkipAudit::check(const int32_t* held, int64_t x1, int depth, int64_t from, int64_t to,
                      uint64_t counted, const NoOpRanges& ranges) {
  const int m = static_cast<int>(cell_.size());
  for (int q = 0; q < depth; ++q) {
    const int64_t value = q < m - 2 ? held[q] : x1;
    if (!enter(q, value, value)) fail("a cell before the set outside its range", 0.0, 0, counted);
  }
  uint64_t walked = 0;
  // An odometer over positions depth .. m-1, the last moving fastest.
  int q = depth;
  bool filled = enter(q, from, to);
  while (filled && q + 1 < m) filled = enter(++q, INT64_MIN, INT64_MAX);
  while (filled) {
    ++walked;
    const double logProb = logProbability();
    bool inside = false;
    for (const LogRange& range : ranges.ranges) {
      inside = inside || (range.low < logProb && logProb < range.high);
    }
    if (!inside) fail("a table skipped that is no no-op", logProb, walked, counted);
    // The deepest position that can still rise, then the positions after it
    // from their lows.
    int p = m - 1;
    while (p >= depth && cell_[p] == high_[p]) --p;
    if (p < depth) break;
    ++cell_[p];
    while (filled && p + 1 < m) filled = enter(++p, INT64_MIN, INT64_MAX);
  }
  if (walked != counted) fail("the count of the tables skipped", 0.0, walked, counted);
  tablesWalked_ += walked;
}

}  // namespace rxc::enumeration_detail
