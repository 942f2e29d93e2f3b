// The per-table work of options B and C, as enumeration visitors: the
// condition test on the log-probability, the accumulation of the accepted
// tables and their selection into the kept lists. The condition's form is a
// type, chosen once per pass.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

#include "base/double_pair.h"
#include "base/fast_exp.h"
#include "base/tolerance.h"
#include "engine/enumeration_screen.h"
#include "engine/exact_sum.h"
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
  ExactSum sum;  // the accepted tables' probabilities, exactly
  double maxLog = -2.0e300;
  int32_t maxRaises = 0;
};

template <class Condition>
class ConditionVisitor {
 public:
  static constexpr bool kNeedsLogProb = true;

  // The totals start from `start`: nothing for a pass (a test may start them
  // near a limit instead of accepting billions of tables).
  ConditionVisitor(Condition condition, TableSelector& selector, const ConditionTotals& start = {})
      : condition_(condition), selector_(selector), totals_(start), sum_(start.sum) {}

  template <class Table>
  bool visit(double logProb, const Table& table) {
    // A rejected table costs the test alone: no exp, no band.
    if (condition_.accepts(logProb)) {
      sum_.add(fastExp(logProb));
      accept(logProb, table);
    }
    return true;
  }

  // Two tables in generation order: when either is accepted, both exp() at
  // once (cheaper than one alone).
  template <class Table>
  void visitPair(DoublePair logProbs, const Table& first, const Table& second) {
    const auto acceptedLanes = condition_.accepts(logProbs);
    const int accepted = laneBits(acceptedLanes);
    if (accepted == 0) return;
    // Both lanes in one store; a rejected table's lane adds +0.0.
    sum_.addPair(std::bit_cast<DoublePair>(std::bit_cast<BitsPair>(fastExp(logProbs)) &
                                           std::bit_cast<BitsPair>(acceptedLanes)));
    if (accepted & 1) accept(logProbs[0], first);
    if (accepted & 2) accept(logProbs[1], second);
  }

  // The tables the condition rejects: the kernel may count them unvisited.
  NoOpRanges noOpRanges() const { return condition_.rejected(); }

  // The totals so far, their sum exact (pieces of a pass merge their sums).
  // The visitor may go on after it.
  const ConditionTotals& totals() {
    totals_.sum = sum_.total();
    return totals_;
  }

 private:
  template <class Table>
  void accept(double logProb, const Table& table) {
    if (++totals_.count > kMaxConditionCount) [[unlikely]] {
      stopTooManyAcceptedTables();
    }
    const LogBand band = toleranceBand(logProb);
    if (band.low > totals_.maxLog) {
      totals_.maxLog = logProb;
      ++totals_.maxRaises;
    }
    selector_.offer(logProb, band, table);
  }

  Condition condition_;
  TableSelector& selector_;
  ConditionTotals totals_;  // its sum is filled in by totals()
  BufferedExactSum sum_;    // from the start's sum on
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
