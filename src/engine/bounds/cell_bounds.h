// The values an interior cell may take, given the cells before it in
// generation order (column by column, top to bottom). The one formula for
// them: the enumeration, its blocks, the split into pieces and the checks
// all read a cell's range from here.
//
// Let the cell's column still need `colRest` in this row and below, its row
// `rowRest` in this column and to the right, and the sub-table from this row
// and column on total `rest`. The cell holds at most what both still need.
// The cells below it and those to its right hold colRest - x and rowRest - x,
// and the rest of the sub-table, rest - colRest - rowRest + x, cannot be
// negative: the cell holds at least the excess colRest + rowRest - rest.
// Every value in between completes to at least one table.
#pragma once

#include <algorithm>

namespace rxc {

// colRest + rowRest - rest: the least the cell holds, when positive. As the
// cell's column gives up one unit (a cell above it rises), it falls by one.
template <class Int>
constexpr Int cellExcess(Int colRest, Int rowRest, Int rest) {
  return colRest + rowRest - rest;
}

// The least value, from the excess.
template <class Int>
constexpr Int lowOfExcess(Int excess) {
  return std::max<Int>(0, excess);
}

template <class Int>
constexpr Int cellLow(Int colRest, Int rowRest, Int rest) {
  return lowOfExcess(cellExcess(colRest, rowRest, rest));
}

template <class Int>
constexpr Int cellHigh(Int colRest, Int rowRest) {
  return std::min(colRest, rowRest);
}

}  // namespace rxc
