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

WideReal ExactProbabilities::allCompletions(const OpenCells& open) const {
  const int i = open.firstRow;
  const int j = open.column;
  const int32_t need = open.colNeed[static_cast<size_t>(j)];
  int32_t openTotal = 0;   // what the open rows still need, column j on
  int32_t laterTotal = 0;  // the later columns' margins
  DoubleDouble log{};
  for (int k = i; k < open.rows; ++k) {
    const int32_t v = open.rowNeed[static_cast<size_t>(k)];
    openTotal += v;
    log -= logs_[v];
  }
  for (int k = 0; k < i; ++k) log -= logs_[open.rowNeed[static_cast<size_t>(k)]];
  for (int l = j + 1; l < open.cols; ++l) {
    const int32_t v = open.colNeed[static_cast<size_t>(l)];
    laterTotal += v;
    log -= logs_[v];
  }
  assert(need <= openTotal);
  // C(openTotal, need) and N''!
  log += logs_[openTotal];
  log -= logs_[need];
  log -= logs_[openTotal - need];
  log += logs_[laterTotal];
  return wideExp(log);
}

WideReal ExactProbabilities::allCompletions(int j, int32_t need, std::span<const uint16_t> done,
                                            std::span<const uint16_t> open) const {
  int32_t openTotal = 0;
  int32_t laterTotal = 0;
  DoubleDouble log{};
  for (uint16_t v : open) {
    openTotal += v;
    log -= logs_[v];
  }
  for (uint16_t v : done) log -= logs_[v];
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

WideReal ExactProbabilities::inverseProduct(std::span<const int16_t> cells) const {
  DoubleDouble log{};
  for (int16_t v : cells) log -= logs_[v];
  return wideExp(log);
}

WideReal ExactProbabilities::absolute(const WideReal& relative) const {
  return relative * marginFactor_;
}

}  // namespace rxc

namespace rxc {

WideReal ExactProbabilities::probabilityOf(std::span<const int16_t> cells) const {
  DoubleDouble log = logMarginConst_;
  for (int16_t v : cells) log -= logs_[v];
  return wideExp(log);
}

}  // namespace rxc
