// The problem of a run: the table's dimensions and marginals, and what every
// later stage derives from them (N, the dimensions as text, ln(k!) and the
// margins' constant of the log-probability). Built once, by makeProblem, after
// the marginals have been accepted; read-only from then on.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "base/log_factorial.h"

namespace rxc {

struct Problem {
  int r = 0;
  int c = 0;
  std::vector<int16_t> rowMargin;  // r values, 0-based
  std::vector<int16_t> colMargin;  // c values, 0-based
  int32_t n = 0;                   // the sum of the row marginals
  std::string dimText;             // "3x4" .. "100x100" (its size is DimTextLen)
  LogFactorialTable logFactorial;  // filled up to N + ShortSide - 2
  // Sum of ln(r_i!) over the rows, plus the same over the columns, minus
  // ln(N!), added in that order: a table's log-probability is this minus the
  // sum of ln(x!) over its cells.
  double logMarginConst = 0.0;

  // Rows count as the longer side when r = c.
  int longSide() const { return std::max(r, c); }
  int shortSide() const { return std::min(r, c); }
};

// The one way to build a problem. The margins are taken as given: the dialogue
// has checked them (every marginal 1..20000, N at most 20000, both totals
// equal); N is the rows' total even when the columns disagree.
Problem makeProblem(std::vector<int16_t> rowMargin, std::vector<int16_t> colMargin);

// The dimensions as text, such as "3x4".
std::string dimensionsText(int r, int c);

// Log-probability of a typed table (cells row-major, r x c): the margins'
// constant minus the sum of ln(x!) over the cells, rows outer, columns inner.
double observedTableLogProb(const Problem& problem, const int16_t* cells);

}  // namespace rxc
