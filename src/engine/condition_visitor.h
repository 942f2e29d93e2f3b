// The per-table work of options B and C, as enumeration visitors: the
// condition test on the log-probability, the accumulation of the accepted
// tables and their selection into the kept lists. The condition's form is a
// type, chosen once per pass.
#pragma once

#include <cmath>
#include <cstdint>

#include "base/double_pair.h"
#include "base/fast_exp.h"
#include "base/tolerance.h"
#include "engine/enumeration_screen.h"
#include "engine/selection_lists.h"

namespace rxc {

// Accepts log-probabilities up to a bound (the lower bound L = 0 was typed).
struct AtMostCondition {
  double upper;
  template <class Value>  // double or DoublePair
  auto accepts(Value logProb) const {
    return logProb <= upper;
  }
  // Rejected tables leave the pass as it is.
  NoOpRanges rejected() const {
    NoOpRanges noOp;
    noOp.ranges[0] = {upper, kLargestLog};
    return noOp;
  }
};

// Accepts log-probabilities strictly inside (lower, upper).
struct BetweenCondition {
  double lower;
  double upper;
  template <class Value>  // double or DoublePair
  auto accepts(Value logProb) const {
    return (lower < logProb) & (logProb < upper);
  }
  NoOpRanges rejected() const {
    NoOpRanges noOp;
    noOp.ranges[0] = {-kLargestLog, lower};
    noOp.ranges[1] = {upper, kLargestLog};
    return noOp;
  }
};

// More accepted tables than this end the run. The count is 8 bytes wide, so
// no run can reach this: the stop only guards the counter itself.
inline constexpr int64_t kMaxConditionCount = int64_t{1} << 62;

// Ends the run: "Demasiadas tablas. Contactar con el autor." Kept out of line
// so that the per-table work stays small.
[[noreturn, gnu::cold, gnu::noinline]] void stopTooManyAcceptedTables();

struct ConditionTotals {
  int64_t count = 0;
  double sum = 0.0;  // added in generation order
  double maxLog = -2.0e300;
  int32_t maxRaises = 0;
};

template <class Condition>
class ConditionVisitor {
 public:
  static constexpr bool kNeedsLogProb = true;

  // The totals start from `start`: nothing for a pass (a test may start them
  // near a limit instead of accepting billions of tables).
  ConditionVisitor(Condition condition, TableSelector& selector, ConditionTotals start = {})
      : condition_(condition), selector_(selector), totals_(start) {}

  template <class Table>
  bool visit(double logProb, const Table& table) {
    // A rejected table costs the test alone: no exp, no band.
    if (condition_.accepts(logProb)) accept(logProb, fastExp(logProb), table);
    return true;
  }

  // Two tables in generation order: when either is accepted, both exp() at
  // once (cheaper than one alone).
  template <class Table>
  void visitPair(DoublePair logProbs, const Table& first, const Table& second) {
    const int accepted = laneBits(condition_.accepts(logProbs));
    if (accepted == 0) return;
    const DoublePair probs = fastExp(logProbs);
    if (accepted & 1) accept(logProbs[0], probs[0], first);
    if (accepted & 2) accept(logProbs[1], probs[1], second);
  }

  // The tables the condition rejects: the kernel may count them unvisited.
  NoOpRanges noOpRanges() const { return condition_.rejected(); }

  const ConditionTotals& totals() const { return totals_; }

 private:
  template <class Table>
  void accept(double logProb, double prob, const Table& table) {
    if (++totals_.count > kMaxConditionCount) [[unlikely]] {
      stopTooManyAcceptedTables();
    }
    totals_.sum += prob;
    const LogBand band = toleranceBand(logProb);
    if (band.low > totals_.maxLog) {
      totals_.maxLog = logProb;
      ++totals_.maxRaises;
    }
    selector_.offer(logProb, band, table);
  }

  Condition condition_;
  TableSelector& selector_;
  ConditionTotals totals_;
};

// Bounds that no table can meet: the pass only counts the tables, one by one.
struct AcceptNothingVisitor {
  static constexpr bool kNeedsLogProb = false;

  template <class Table>
  bool visit(double, const Table&) {
    return true;
  }
};

// The same for a bounded walk: every table is a no-op, so whole subtrees are
// counted without a visit wherever their completions can be counted.
struct NothingMeetsVisitor {
  static constexpr bool kNeedsLogProb = true;

  template <class Table>
  bool visit(double, const Table&) {
    return true;
  }
  NoOpRanges noOpRanges() const {
    NoOpRanges noOp;
    noOp.ranges[0] = {-kLargestLog, kLargestLog};
    return noOp;
  }
};

}  // namespace rxc
