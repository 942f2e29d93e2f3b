// The order of the additions that form a table's sum of ln(x!). Every
// log-probability the enumeration hands out is LogMarginConst minus this sum,
// and its last bits depend on the order, so the order is written here once
// and every walk of the kernel goes through it:
//
//   the interior cells, column by column (a running sum, each cell added to
//   the sum of those before it, the first to +0.0; the block's two cells x1
//   and x are its last two additions), then the last row's cells left to
//   right, then the last column's cells top to bottom, then the corner.
//
// No walk regroups these additions: a running sum held part way (before x1,
// or before x) goes on from where it stopped, one addInteriorCell() a cell.
//
// The last row and column hold "held" cells, fixed before a block of the last
// two interior cells starts (their ln(x!) kept in both lanes of a DoublePair,
// so that a pair of tables adds each with one instruction), and the block's
// own derived cells, which move with x1 and x. A derived cell of 0 or 1 adds
// ln 0! = ln 1! = +0.0, which leaves a non-negative sum unchanged, so adding
// it is the same as skipping it.
#pragma once

#include <type_traits>

#include "base/double_pair.h"

namespace rxc::enumeration_detail {

// The interior cells' running sum before the first cell: the empty sum.
inline constexpr double kNoInteriorCells = 0.0;

// The running sum of the interior cells up to and including a cell: the sum
// of those before it plus the cell's ln(x!). `Sum` is a double for one table
// or a DoublePair for two (each lane the same addition).
template <class Sum>
[[gnu::always_inline]] inline Sum addInteriorCell(Sum before, Sum cellTerm) {
  return before + cellTerm;
}

// s + a[0] + a[1] + ... + a[n-1], added in that order. With the count known
// at compile time (N >= 0) the additions are unrolled; otherwise a jump into
// an unrolled tail replaces a loop branch per term. The accumulator is a
// double, which takes the low lane, or a DoublePair, whose lanes each take the
// same additions in the same order.
template <int N, class Sum>
inline Sum addInOrder(Sum s, const DoublePair* a, int n) {
  auto term = [](const DoublePair& t) {
    if constexpr (std::is_same_v<Sum, double>) {
      return t[0];
    } else {
      return t;
    }
  };
  if constexpr (N >= 0) {
    for (int k = 0; k < N; ++k) s += term(a[k]);
  } else {
    const DoublePair* end = a + n;
    // clang-format off
    switch (n) {
      default:
        for (int k = 0; k < n - 8; ++k) s += term(a[k]);
        [[fallthrough]];
      case 8: s += term(end[-8]); [[fallthrough]];
      case 7: s += term(end[-7]); [[fallthrough]];
      case 6: s += term(end[-6]); [[fallthrough]];
      case 5: s += term(end[-5]); [[fallthrough]];
      case 4: s += term(end[-4]); [[fallthrough]];
      case 3: s += term(end[-3]); [[fallthrough]];
      case 2: s += term(end[-2]); [[fallthrough]];
      case 1: s += term(end[-1]); [[fallthrough]];
      case 0: break;
    }
    // clang-format on
  }
  return s;
}

// The held cells of the last row and column, for a block. kRowHeld and
// kColHeld are their counts when known at compile time, -1 otherwise.
struct HeldTerms {
  const DoublePair* lastRow;  // below the interior columns before the block's
  int lastRowCount;
  const DoublePair* lastCol;  // beside the interior rows above the block's
  int lastColCount;
};

// The derived cells that move with the block's cells. With two or more
// interior rows, x1 and x are the last two cells of the last interior column:
// x's column ends in `belowX`, and the last column holds `besideX1` and
// `besideX` after the held ones. With one interior row, x1 and x are the last
// two interior columns: the last row ends in `belowX1` and `belowX`, and the
// last column is `besideX` alone.
template <class Sum>
struct BlockTerms {
  Sum x1Derived;  // besideX1 (two or more interior rows) or belowX1 (one)
  Sum belowX;
  Sum besideX;
  Sum corner;
};

// The sum of a table's ln(x!), given the interior cells' running sum up to and
// including x (addInteriorCell of ln x1!, then of ln x!).
// `Sum` is a double for one table or a DoublePair for two.
template <int kRowHeld, int kColHeld, class Sum>
inline Sum sumInTableOrder(Sum interior, const HeldTerms& held, bool oneInteriorRow,
                           const BlockTerms<Sum>& t) {
  Sum s = addInOrder<kRowHeld>(interior, held.lastRow, held.lastRowCount);
  if (!oneInteriorRow) {
    s += t.belowX;
    s = addInOrder<kColHeld>(s, held.lastCol, held.lastColCount);
    s += t.x1Derived;
  } else {
    s += t.x1Derived;
    s += t.belowX;
  }
  s += t.besideX;
  s += t.corner;
  return s;
}

}  // namespace rxc::enumeration_detail
