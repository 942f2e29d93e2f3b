// Bounds on the sum of ln(x!) over the open cells of a partly fixed table,
// valid for every way of completing it.
//
// A subtree of the enumeration can be judged as a whole when every table in
// it is, say, less probable than the current maximum: the fixed cells' part
// of the sum is known, and these bounds cover the rest.
//
// Both bounds relax the problem to one line at a time: each row (or column)
// must place its need in its open cells, each cell at most what the crossing
// column (or row) still needs, and the lines are otherwise independent.
//   least:    ln(k!) is convex, so a line's sum is smallest when its need is
//             spread as evenly as the caps allow (water-filling: cells whose
//             cap is below the level are filled to the cap).
//   greatest: a line's sum is largest when its need is packed into the cells
//             with the largest caps, each filled to its cap in turn: that
//             vector majorises every feasible one.
// Summed over the rows, and separately over the columns, each gives a bound;
// the tighter of the two is returned.
//
// Cost: O((r + c) log(r + c)) per call (two small sorts per side and a binary
// search per line); nothing is allocated.
#pragma once

#include "engine/bounds/open_cells.h"

namespace rxc {

struct SumBounds {
  double least = 0.0;
  double greatest = 0.0;
};

// How many roundings any one term of a computed bound can go through. Every
// bound is a sum of non-negative terms n * ln(k!) (n a small integer, ln(k!)
// read from the caller's table), so with u = 2^-53 the computed value lies
// within a factor (1 - u)^R .. (1 + u)^R of the exact value of the same
// expression, R = openCellsBoundRoundings(rows, cols): a line's share goes
// through at most max(its cells, 3) roundings (a running sum over its capped
// cells, or a product, the sum of two products and one addition) and the sum
// over the lines through at most (lines - 1) more: at most max(cols, 3) +
// rows - 1 by rows and max(rows, 3) + cols - 1 by columns, never above
// rows + cols since both are at least 2.
constexpr int openCellsBoundRoundings(int rows, int cols) { return rows + cols; }

// least <= sum over the open cells of lf[x] <= greatest for every completion,
// up to the roundings above. `lf[k]` is ln(k!) for k up to the largest need.
// Requires a shape with at least one completion (see open_cells.h).
SumBounds boundOpenCells(const OpenCells& open, const double* lf);

// The two relaxations on their own: each row, or each column, filled alone.
SumBounds boundOpenCellsByRows(const OpenCells& open, const double* lf);
SumBounds boundOpenCellsByColumns(const OpenCells& open, const double* lf);

// boundOpenCellsByRows, to the bit, for open cells in the last two columns
// only (open.column == open.cols - 2): each row then has one open cell, or
// two, and its share is read off directly instead of through sorted lists.
SumBounds boundLastTwoColumnsByRows(const OpenCells& open, const double* lf);

}  // namespace rxc
