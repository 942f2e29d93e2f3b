#include "engine/condition/exact_probabilities.h"

#include <cassert>

#include "base/double_double.h"

namespace rxc {

ExactProbabilities::ExactProbabilities(const Problem& problem)
    : colMargin_(problem.colMargin.begin(), problem.colMargin.end()),
      cellCount_(static_cast<size_t>(problem.r * problem.c)),
      logs_(problem.n) {
  // LogMarginConst exactly: the rows' and columns' ln x! less ln N!.
  DoubleDouble constant{};
  for (int16_t v : problem.rowMargin) constant += logs_[v];
  for (int16_t v : problem.colMargin) constant += logs_[v];
  constant -= logs_[problem.n];
  logMarginConst_ = constant;
  marginFactor_ = wideExp(constant);
}

// The closed form of exact_probabilities.h: C(sum R'_k, c') / prod R'_k! times
// N''! / (prod R''_k! prod C''_l!), the later columns' needs their margins.
template <class Needs>
WideReal ExactProbabilities::completions(int j, int32_t need, Needs done, Needs open) const {
  int32_t openTotal = 0;   // what the open rows still need, column j on
  int32_t laterTotal = 0;  // the later columns' margins
  DoubleDouble log{};
  for (const auto v : open) {
    openTotal += v;
    log -= logs_[v];
  }
  for (const auto v : done) log -= logs_[v];
  for (size_t l = static_cast<size_t>(j) + 1; l < colMargin_.size(); ++l) {
    laterTotal += colMargin_[l];
    log -= logs_[colMargin_[l]];
  }
  assert(need <= openTotal);
  log += logs_[openTotal];
  log -= logs_[need];
  log -= logs_[openTotal - need];
  log += logs_[laterTotal];
  return wideExp(log);
}

WideReal ExactProbabilities::allCompletions(const OpenCells& open) const {
  const auto firstRow = static_cast<size_t>(open.firstRow);
  return completions(open.column, open.colNeed[static_cast<size_t>(open.column)],
                     open.rowNeed.first(firstRow), open.rowNeed.subspan(firstRow));
}

WideReal ExactProbabilities::allCompletions(int j, int32_t need, std::span<const uint16_t> done,
                                            std::span<const uint16_t> open) const {
  return completions(j, need, done, open);
}

WideReal ExactProbabilities::inverseProduct(std::span<const int16_t> cells) const {
  DoubleDouble log{};
  for (int16_t v : cells) log -= logs_[v];
  return wideExp(log);
}

WideReal ExactProbabilities::absolute(const WideReal& relative) const {
  return relative * marginFactor_;
}

WideReal ExactProbabilities::probabilityOf(std::span<const int16_t> cells) const {
  DoubleDouble log = logMarginConst_;
  for (int16_t v : cells) log -= logs_[v];
  return wideExp(log);
}

}  // namespace rxc
