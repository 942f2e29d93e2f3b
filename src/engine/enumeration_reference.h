// A plain, step-by-step reading of the Pagano-Halvorsen enumeration, with every
// working array of the algorithm kept explicitly. It is slow on purpose: it is
// the oracle against which the fast kernel (enumeration_kernel.h) is checked,
// table by table and bit by bit.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/enumeration.h"

namespace rxc {

class ReferenceEnumeration {
 public:
  explicit ReferenceEnumeration(const EnumerationInput& input);

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
PassResult runReferencePass(const EnumerationInput& input, Progress& progress, Visitor& visitor) {
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

}  // namespace rxc
