// Exact probabilities: sums over whole subtrees of tables, in closed form, and
// the probabilities of single tables, all wide (base/wide_real.h) and built on ln(k!) to
// double-double accuracy, so that the sum of an accepted set is exact to far
// more digits than are printed.
//
// A subtree's sums are relative to the cells fixed above it: each table
// contributes the product of 1/x! over the subtree's open cells, and the
// probability is that times exp(LogMarginConst - the fixed cells' ln x!).
//
// Closed form. The open cells of a subtree are the rest of column j (rows
// i.., the derived last row included) and every later column in full. With
// R'_k what the open rows still need, c' what column j still needs, R''_k what
// the rows above i still need (from column j + 1 on), C''_l the later columns'
// margins and N'' their total, the sum over every completion of the product
// of 1/x! is
//   C(sum R'_k, c') / prod R'_k!  *  N''! / (prod R''_k! prod C''_l!):
// Vandermonde's identity over column j (each open row splits R'_k between
// column j and the rest), and over the later columns the multivariate
// hypergeometric probabilities of a table, which add up to 1.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/wide_log_factorial.h"
#include "base/wide_real.h"
#include "engine/bounds/open_cells.h"
#include "engine/problem/problem.h"

namespace rxc {

class ExactProbabilities {
 public:
  explicit ExactProbabilities(const Problem& problem);

  // The sum over every completion of `open` of the product of 1/x! over its
  // open cells.
  WideReal allCompletions(const OpenCells& open) const;
  // The same for column j needing `need` more, the rows above the next cell
  // needing `done` and those from it on `open` (the column's margins after j
  // from the problem).
  WideReal allCompletions(int j, int32_t need, std::span<const uint16_t> done,
                          std::span<const uint16_t> open) const;
  // 1/k!
  WideReal inverseFactorial(int k) const { return wideExp(-logs_[k]); }
  // The product of 1/x! over `cells`.
  WideReal inverseProduct(std::span<const int16_t> cells) const;
  // A relative sum of the whole table (nothing fixed) turned into a
  // probability: times exp(LogMarginConst), LogMarginConst taken exactly.
  WideReal absolute(const WideReal& relative) const;
  // The probability of the table with these cells (all r x c of them).
  WideReal probabilityOf(std::span<const int16_t> cells) const;
  // r x c.
  size_t cellCount() const { return cellCount_; }

 private:
  template <class Needs>
  WideReal completions(int j, int32_t need, Needs done, Needs open) const;

  std::vector<int32_t> colMargin_;
  size_t cellCount_;
  WideLogFactorials logs_;
  DoubleDouble logMarginConst_{};  // exactly, to double-double accuracy
  WideReal marginFactor_{};
};

}  // namespace rxc
