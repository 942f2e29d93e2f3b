// The cells of a table that a partial fill leaves open.
//
// The interior cells are fixed in generation order: column by column, top to
// bottom. Once the first d of them are fixed, the last one at interior row i0,
// column j0, what is left open is the rest of column j0 (rows i0 + 1 .. r - 1,
// the derived last-row cell included) and every later column in full (the
// derived last column included). Every table of the subtree that the fixed
// cells start is one way of filling the open cells so that each row and each
// column gets what it still needs.
//
// The same description covers the whole problem (nothing fixed: column 0 open
// in full) and a column boundary (i0 = r - 2: the column's only open cell is
// its last-row cell, which is forced; a caller may instead fold that cell into
// the fixed ones and start the open cells at the next column, open in full).
#pragma once

#include <cstdint>
#include <span>

namespace rxc {

struct OpenCells {
  int rows = 0;      // r, 2 .. 100
  int cols = 0;      // c, 2 .. 100
  int column = 0;    // the first column with open cells, 0 .. cols - 1
  int firstRow = 0;  // its first open row, 0 .. rows - 1; 0 when it is open in full
  // What each row still needs in the open cells (rows entries).
  std::span<const int32_t> rowNeed;
  // What each column still needs in its open cells (cols entries; those before
  // `column` are not read).
  std::span<const int32_t> colNeed;
};

// Preconditions shared by the users of OpenCells: every need is >= 0; the row
// needs add up to the column needs of columns column .. cols - 1; and rows
// 0 .. firstRow - 1, which have no open cell in `column`, need nothing when
// `column` is the last column. Shapes taken from the enumeration also have at
// least one completion, since the enumeration fixes each interior cell within
// the range that the sub-table after it can still complete.

}  // namespace rxc
