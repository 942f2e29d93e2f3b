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
  // The same sum as a product of factorials that `factorials` gives
  // (factorials.of(k) = k!, factorials.inverseOf(k) = 1/k!, each kept by the
  // caller once made): a dozen products, where allCompletions takes one
  // exponential of a sum of logarithms at about ten times the work, to the
  // same accuracy or better (some 2^-100 relative to each factor's).
  template <class Factorials>
  WideReal allCompletionsByProducts(const OpenCells& open, Factorials& factorials) const;
  // 1/k!
  WideReal inverseFactorial(int k) const { return wideExp(-logs_[k]); }
  // k!
  WideReal factorial(int k) const { return wideExp(logs_[k]); }
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

// The closed form above, C(sum R'_k, c') / prod R'_k! * N''! / (prod R''_k!
// prod C''_l!), factor by factor; 0! and 1! are left out.
template <class Factorials>
WideReal ExactProbabilities::allCompletionsByProducts(const OpenCells& open,
                                                      Factorials& factorials) const {
  // The factors' mantissas (each in [1, 2)) multiplied as they come and
  // their exponents added apart, normalised once at the end: the mantissa
  // stays below 2^(rows + columns + 4), far from overflow.
  DoubleDouble mantissa{1.0, 0.0};
  int64_t exponent = 0;
  auto take = [&](const WideReal& factor) {
    mantissa = mantissa * factor.mantissa;
    exponent += factor.exponent;
  };
  auto divideBy = [&](int32_t k) {
    if (k > 1) take(factorials.inverseOf(k));
  };
  auto multiplyBy = [&](int32_t k) {
    if (k > 1) take(factorials.of(k));
  };
  const auto column = static_cast<size_t>(open.column);
  const int32_t need = open.colNeed[column];
  int32_t openTotal = 0;
  for (size_t k = 0; k < open.rowNeed.size(); ++k) {
    divideBy(open.rowNeed[k]);
    if (k >= static_cast<size_t>(open.firstRow)) openTotal += open.rowNeed[k];
  }
  int32_t laterTotal = 0;
  for (size_t l = column + 1; l < colMargin_.size(); ++l) {
    laterTotal += colMargin_[l];
    divideBy(colMargin_[l]);
  }
  multiplyBy(openTotal);
  divideBy(need);
  divideBy(openTotal - need);
  multiplyBy(laterTotal);
  return toWide(mantissa, exponent);
}

}  // namespace rxc
