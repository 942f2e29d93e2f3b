// Test oracles for the enumeration.
//
// ReferenceEnumeration is a plain, step-by-step reading of the Pagano-Halvorsen
// enumeration, with every working array of the algorithm kept explicitly. It
// is slow on purpose: the fast kernel (engine/kernel/enumeration_kernel.h) is checked
// against it, table by table and bit by bit.
//
// everyTable() is a brute force that knows nothing of the algorithm: it tries
// every assignment of the interior cells and keeps those whose derived cells
// are non-negative, which checks the reference's order and set of tables.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "engine/kernel/enumeration.h"
#include "engine/problem/problem.h"

namespace rxc::testing {

class ReferenceEnumeration {
 public:
  explicit ReferenceEnumeration(const Problem& problem);

  // Resets the borders and fills every interior cell with its lower bound,
  // giving the first table.
  void startPass();
  // Completes the last row, last column and corner, checks the corner, and
  // returns the table's log-probability.
  double deriveAndEvaluate();
  // Advances to the next table; false when the pass is finished.
  bool nextTable();

  // The table last completed by deriveAndEvaluate(), r x c row-major.
  void copyTo(int16_t* cells) const;

 private:
  // Arrays indexed (0..r, 0..c), row i, column j.
  int16_t& at(std::vector<int16_t>& a, int i, int j) { return a[i * (c_ + 1) + j]; }
  int16_t at(const std::vector<int16_t>& a, int i, int j) const { return a[i * (c_ + 1) + j]; }
  double& lfs(int i, int j) { return logFactSum_[i * (c_ + 1) + j]; }

  void fill();

  int r_;
  int c_;
  int32_t n_;
  const double* logFactorial_;
  double logMarginConst_;
  std::vector<int16_t> rowMargin_;  // 1-based
  std::vector<int16_t> colMargin_;  // 1-based
  std::vector<int32_t> rowCum_;     // index 0 = 0
  std::vector<int32_t> colCum_;

  std::vector<int16_t> cell_;
  std::vector<int16_t> colAbove_;
  std::vector<int16_t> rowLeft_;
  std::vector<int16_t> blockSum_;
  std::vector<int16_t> outsideSum_;
  std::vector<int16_t> colRest_;
  std::vector<int16_t> rowRest_;
  std::vector<int16_t> cellLow_;
  std::vector<int16_t> cellHigh_;
  std::vector<double> logFactSum_;
  std::vector<int16_t> fillStartRow_;  // 1..c-1
  int fillStartCol_ = 1;
};

// Drives a pass of the reference with the same contract as runPass(): counts
// from 1, marks progress before evaluating, stops when visit() returns false.
template <class Visitor, class Progress>
PassResult runReferencePass(const Problem& input, Progress& progress, Visitor& visitor) {
  ReferenceEnumeration e(input);
  e.startPass();
  PassResult result;
  for (;;) {
    ++result.tableCount;
    if (result.tableCount >= progress.nextMarkAt()) progress.reach(result.tableCount);
    const double logProb = e.deriveAndEvaluate();
    if (!visitor.visit(logProb, e)) return result;
    if (!e.nextTable()) break;
  }
  result.completed = true;
  return result;
}

struct GeneratedTable {
  std::vector<int16_t> cells;  // r x c, row-major
  double logProb;
};

// Every table with the given margins, by brute force, in generation order:
// ascending lexicographic order of the interior cells read column by column.
// ln(k!) is its own running sum, and the log-probability is summed in the
// documented order: interior cells column by column, the last row, the last
// column, the corner.
std::vector<GeneratedTable> everyTable(const std::vector<int16_t>& rows,
                                       const std::vector<int16_t>& cols);

// The interior cells, column by column, of a row-major r x c table.
std::vector<int16_t> interiorCells(const std::vector<int16_t>& table, int r, int c);

// `parts` positive values adding up to `total`, at random: margins for the
// property tests.
std::vector<int16_t> randomComposition(std::mt19937& random, int total, int parts);

// Margins of a random r x c table with cells 0..maxCell, each margin at least
// 1 (an empty row or column borrows one unit from a random other side).
void randomMargins(std::mt19937& random, int r, int c, int maxCell, std::vector<int16_t>& rows,
                   std::vector<int16_t>& cols);

}  // namespace rxc::testing
