// The rounding budget of the bounded walk: the slack every check widens its
// bounds by, so that a skipped table's log-probability, with its bits as the
// walk would have formed them, lies inside the no-op range the check read.
// docs/rounding.md derives each slack from one error analysis of the sums of
// ln(x!) (how many roundings each term goes through, what the ln(k!) table's
// own rounding does to its shape) and of the comparisons made on them; this
// header holds the constants and checks at compile time that each one
// covers what the derivation asks of it at every shape.
//
// Amounts are in units of rounding (kUnitRoundoff), relative to the sums.
#pragma once

#include "base/log_factorial.h"
#include "engine/bounds/open_cells_bounds.h"

namespace rxc::enumeration_detail {

inline constexpr double kUnitRoundoff = 0x1p-53;

// Roundings any term goes through in a sum the walk forms of one table's
// terms (or of each term's bound), a widening by (1 +- slack) included:
// at most max(cells - 1, 6) additions and one product.
constexpr int sumRoundings(int cells) { return cells + 2; }

// Where a run's turn falls between two tables that tie on ln k!, the ln(k!)
// table's own rounding may set them apart by this much.
inline constexpr int kTurnTieUnits = 6;
// How much a descent over the runs' least sums may stop above the least,
// misled by rounding: twice a six-term sum's roundings and a turn's tie.
inline constexpr int kDescentUnits = 2 * 5 + kTurnTieUnits;
// The screen's own: the subtraction from LogMarginConst, with the rounding
// of the log-probability.
inline constexpr int kSubtractionUnits = 2;

// --- What each check asks (docs/rounding.md, sections 3 and 4) ---

// The screen: a table's own sum and its subtraction, and the most a check's
// value may stand above the least it stands for without a slack of its own
// (a run's least at its turn).
constexpr int screenAsks(int cells) {
  return sumRoundings(cells) + kSubtractionUnits + sumRoundings(cells) + kTurnTieUnits;
}
// A block's least, found by a descent, covers its sum's roundings, a turn's
// tie and the descent; a run's least and any greatest ask less.
constexpr int blockAsks(int cells) { return sumRoundings(cells) + kTurnTieUnits + kDescentUnits; }
// A subtree's bounds: the fixed cells' sum and the open cells' bounds.
constexpr int subtreeAsks(int rows, int cols) {
  return sumRoundings(rows * cols) + openCellsBoundRoundings(rows, cols);
}
// A node of the network walk: the table's own sum, the derived cells' sum
// (one term a column), the open cells' bounds (exact ones, summed in another
// order, or the relaxed ones), the two additions and the subtraction that
// form the range, and the log-probability's own rounding.
constexpr int networkAsks(int rows, int cols) {
  const int bounds = rows * cols > openCellsBoundRoundings(rows, cols)
                         ? rows * cols
                         : openCellsBoundRoundings(rows, cols);
  return sumRoundings(rows * cols) + cols + bounds + 4;
}

// --- The slacks, in units ---

constexpr int screenMarginUnits(int cells) { return 8 * sumRoundings(cells); }
constexpr int blockSlackUnits(int cells) { return 4 * sumRoundings(cells); }
constexpr int subtreeSlackUnits(int rows, int cols) {
  return 2 * (sumRoundings(rows * cols) + openCellsBoundRoundings(rows, cols));
}
// Relative to the node's partial sums plus |LogMarginConst|.
constexpr int networkSlackUnits(int rows, int cols) {
  return 2 * (rows * cols + 2 * (rows + cols) + 16);
}

// The relative slacks themselves.
constexpr double screenMargin(int cells) { return screenMarginUnits(cells) * kUnitRoundoff; }
constexpr double blockSlack(int cells) { return blockSlackUnits(cells) * kUnitRoundoff; }
constexpr double subtreeSlack(int rows, int cols) {
  return subtreeSlackUnits(rows, cols) * kUnitRoundoff;
}
constexpr double networkSlack(int rows, int cols) {
  return networkSlackUnits(rows, cols) * kUnitRoundoff;
}

namespace rounding_check {

// Each slack, one unit short, still covers its need at every shape (the unit
// absorbs the products of roundings the counts leave out). Blocks exist
// from 6 cells on.
constexpr bool everyShapeCovered() {
  for (int r = 2; r <= 100; ++r) {
    for (int c = 2; c <= 100; ++c) {
      const int cells = r * c;
      if (screenMarginUnits(cells) - 1 < screenAsks(cells)) return false;
      if (cells >= 6 && blockSlackUnits(cells) - 1 < blockAsks(cells)) return false;
      if (subtreeSlackUnits(r, c) - 1 < subtreeAsks(r, c)) return false;
      if (networkSlackUnits(r, c) - 1 < networkAsks(r, c)) return false;
    }
  }
  return true;
}
static_assert(everyShapeCovered(), "a slack no longer covers what docs/rounding.md asks of it");

// The premises of section 4. Every cell, and so every total, is below the
// ln(k!) table's capacity, and every entry below 10 k (ln k < 10 there):
// a turn's sign is that of ln k! where the two tables do not tie, and a
// descent is off by one step's error at most.
inline constexpr double kLargestCell = LogFactorialTable::kCapacity;
static_assert(kLargestCell < 22026.0, "ln k reaches 10");
inline constexpr double kLargestLogFactorial = 10.0 * kLargestCell;
static_assert(12.0 * kUnitRoundoff * kLargestLogFactorial <
                  1.0 / ((kLargestCell + 1.0) * (kLargestCell + 1.0) + 1.0),
              "a turn's sign may differ from ln k!'s");
static_assert(kDescentUnits * kUnitRoundoff * kLargestLogFactorial < 1.0 / kLargestCell,
              "a descent may stop early by more than one step's error");

}  // namespace rounding_check

}  // namespace rxc::enumeration_detail
