#include "engine/problem/problem.h"

#include <utility>

namespace rxc {

std::string dimensionsText(int r, int c) { return std::to_string(r) + "x" + std::to_string(c); }

Problem makeProblem(std::vector<int16_t> rowMargin, std::vector<int16_t> colMargin) {
  Problem p;
  p.r = static_cast<int>(rowMargin.size());
  p.c = static_cast<int>(colMargin.size());
  p.rowMargin = std::move(rowMargin);
  p.colMargin = std::move(colMargin);
  for (int16_t m : p.rowMargin) p.n += m;
  p.dimText = dimensionsText(p.r, p.c);
  p.logFactorial.extendTo(p.n + p.shortSide() - 2);
  double sum = 0.0;
  for (int16_t m : p.rowMargin) sum += p.logFactorial[m];
  for (int16_t m : p.colMargin) sum += p.logFactorial[m];
  p.logMarginConst = sum - p.logFactorial[p.n];
  return p;
}

double observedTableLogProb(const Problem& problem, const int16_t* cells) {
  double sum = 0.0;
  for (int k = 0; k < problem.r * problem.c; ++k) sum += problem.logFactorial[cells[k]];
  return problem.logMarginConst - sum;
}

}  // namespace rxc
