// Shared by the tests of the open-cell bounds and of the completion counter:
// random problems with a partial fill, and every completion by brute force.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "engine/bounds/open_cells.h"

namespace rxc::testing {

// ln(k!) as the program fills it: ln(k) added to the previous entry.
inline std::vector<double> logFactorials(int last) {
  std::vector<double> lf{0.0};
  for (int k = 1; k <= last; ++k) lf.push_back(std::log(static_cast<double>(k)) + lf.back());
  return lf;
}

// A table whose first `fixed` interior cells (column by column) are kept and
// whose other cells are open, with the needs that the kept cells leave.
struct PartialFill {
  int rows = 0;
  int cols = 0;
  std::vector<int32_t> rowMargin;
  std::vector<int32_t> colMargin;
  std::vector<int32_t> rowNeed;
  std::vector<int32_t> colNeed;
  OpenCells open;

  // `cells` is a complete table (rows x cols, row-major) whose margins become
  // the problem's; its first `fixed` interior cells are kept. At a column
  // boundary the forced last-row cell stays open unless `foldBoundary`, which
  // moves the open cells on to the next column, open in full.
  PartialFill(const std::vector<int32_t>& cells, int r, int c, int fixed, bool foldBoundary)
      : rows(r), cols(c), rowMargin(r, 0), colMargin(c, 0) {
    for (int i = 0; i < r; ++i) {
      for (int j = 0; j < c; ++j) {
        rowMargin[i] += cells[i * c + j];
        colMargin[j] += cells[i * c + j];
      }
    }
    rowNeed = rowMargin;
    colNeed = colMargin;
    int column = 0;
    int firstRow = 0;
    if (fixed > 0) {
      const int h = r - 1;
      const int last = fixed - 1;
      column = last / h;
      firstRow = last % h + 1;
      for (int q = 0; q < fixed; ++q) take(cells, q % h, q / h);
      for (int j = 0; j < column; ++j) take(cells, r - 1, j);  // derived, closed
      if (firstRow == r - 1 && foldBoundary) {
        take(cells, r - 1, column);
        ++column;
        firstRow = 0;
      }
    }
    open = {r, c, column, firstRow, rowNeed, colNeed};
  }
  // `open` points into the fill's own needs.
  PartialFill(const PartialFill&) = delete;
  PartialFill& operator=(const PartialFill&) = delete;

 private:
  void take(const std::vector<int32_t>& cells, int i, int j) {
    rowNeed[i] -= cells[i * cols + j];
    colNeed[j] -= cells[i * cols + j];
  }
};

// A random table with small cells, zeros included.
inline std::vector<int32_t> randomTable(std::mt19937& random, int r, int c, int largest) {
  std::uniform_int_distribution<int32_t> cell(0, largest);
  std::vector<int32_t> cells(static_cast<size_t>(r * c));
  for (auto& x : cells) x = cell(random);
  return cells;
}

// A table of `units` ones dropped on random cells: small totals with many
// zeros among the margins, for larger shapes.
inline std::vector<int32_t> randomSparseTable(std::mt19937& random, int r, int c, int units) {
  std::vector<int32_t> cells(static_cast<size_t>(r * c), 0);
  for (int k = 0; k < units; ++k) ++cells[random() % cells.size()];
  return cells;
}

// A square table with every margin `n`: a sum of n random permutation matrices.
inline std::vector<int32_t> randomEqualMarginTable(std::mt19937& random, int size, int n) {
  std::vector<int32_t> cells(static_cast<size_t>(size * size), 0);
  std::vector<int> perm(static_cast<size_t>(size));
  for (int k = 0; k < n; ++k) {
    for (int i = 0; i < size; ++i) perm[i] = i;
    std::shuffle(perm.begin(), perm.end(), random);
    for (int i = 0; i < size; ++i) ++cells[i * size + perm[i]];
  }
  return cells;
}

// Calls `visit` with the sum of lf over the open cells of every completion.
// Cell by cell, each within what its row and column still need, the last row
// of a column and the last column taking what is left.
inline void forEachCompletion(const OpenCells& open, const std::vector<double>& lf,
                              const std::function<void(double)>& visit) {
  std::vector<int32_t> rowLeft(open.rowNeed.begin(), open.rowNeed.end());
  std::vector<int32_t> colLeft(open.colNeed.begin(), open.colNeed.end());
  const int r = open.rows;
  const int c = open.cols;
  std::function<void(int, int, double)> place = [&](int i, int j, double sum) {
    if (j == c) {
      if (std::all_of(rowLeft.begin(), rowLeft.end(), [](int32_t v) { return v == 0; })) visit(sum);
      return;
    }
    const int nextI = i + 1 == r ? 0 : i + 1;
    const int nextJ = i + 1 == r ? j + 1 : j;
    int32_t lo = 0;
    int32_t hi = std::min(rowLeft[i], colLeft[j]);
    if (i == r - 1) lo = colLeft[j];  // the column's last cell takes the rest
    if (j == c - 1) lo = std::max(lo, rowLeft[i]);
    for (int32_t x = lo; x <= hi; ++x) {
      rowLeft[i] -= x;
      colLeft[j] -= x;
      place(nextI, nextJ, sum + lf[x]);
      rowLeft[i] += x;
      colLeft[j] += x;
    }
  };
  place(open.firstRow, open.column, 0.0);
}

}  // namespace rxc::testing
