// The per-table work of options B and C, as enumeration visitors: the
// condition test on the log-probability, the accumulation of the accepted
// tables and their selection into the kept lists.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "base/double_pair.h"
#include "base/tolerance.h"
#include "base/wide_sum.h"
#include "engine/bounds/enumeration_screen.h"
#include "engine/condition/exact_probabilities.h"
#include "engine/kernel/table_view.h"
#include "engine/stores/selection_lists.h"

namespace rxc {

// The accepted log-probabilities: strictly inside (lower, upper). A bound
// that accepts up to u itself is given as the next double above u, and a
// missing lower bound as minus infinity, so that one test serves every
// request (one kernel per shape for them all).
struct AcceptedRange {
  double lower;
  double upper;

  // Up to `upper` itself, with no lower bound (the lower bound L = 0 typed).
  static AcceptedRange atMost(double upper) {
    return {-std::numeric_limits<double>::infinity(),
            std::nextafter(upper, std::numeric_limits<double>::infinity())};
  }

  template <class Value>  // double or DoublePair
  auto accepts(Value logProb) const {
    return (lower < logProb) & (logProb < upper);
  }
  // Rejected tables leave the pass as it is (finite ends, as the kernel's
  // screens want them).
  NoOpRanges rejected() const {
    NoOpRanges noOp;
    noOp.ranges[0] = {-kLargestLog, std::clamp(lower, -kLargestLog, kLargestLog)};
    noOp.ranges[1] = {std::clamp(upper, -kLargestLog, kLargestLog), kLargestLog};
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
  WideSum sum;  // the accepted tables' probabilities, to far more digits than are printed
  double maxLog = -2.0e300;
  int32_t maxRaises = 0;
};

// Where the steps that depend on the tables' order act: an accepted table
// raises the largest log-probability when its band's low end is above
// maxLog, enters the high list when that end is at least highEntry, and the
// low list when its band's high end is at most lowEntry. Every other accepted
// table leaves them as they are.
struct StepThresholds {
  double maxLog;
  double highEntry;
  double lowEntry;

  bool acts(LogBand band) const {
    return band.low > maxLog || band.low >= highEntry || band.high <= lowEntry;
  }
};

// What takes the accepted tables that may act on the ordered steps: the steps
// themselves (OrderedSteps), or a worker that hands them on to the thread
// that runs those steps. Reached only by the tables beyond the thresholds,
// never by the common accepted table.
class AcceptedTableSink {
 public:
  // The thresholds now, for the first table of a pass or a piece.
  virtual StepThresholds thresholds() const = 0;
  // Takes an accepted table that passes the thresholds; returns the new ones.
  virtual StepThresholds take(double logProb, LogBand band, const TableView& table) = 0;

 protected:
  ~AcceptedTableSink() = default;
};

// The steps of the accepted tables that depend on their order: the raises of
// the largest log-probability and the selection into the kept lists. Run on
// every accepted table that passes its thresholds, in generation order, by
// the visitor of a pass on one thread, or by the thread that takes a split
// pass's candidates in order.
class OrderedSteps final : public AcceptedTableSink {
 public:
  OrderedSteps(TableSelector& selector, double maxLog, int32_t maxRaises)
      : selector_(selector), maxLog_(maxLog), maxRaises_(maxRaises) {}

  StepThresholds thresholds() const override {
    return {maxLog_, selector_.highEntry(), selector_.lowEntry()};
  }

  StepThresholds take(double logProb, LogBand band, const TableView& table) override {
    if (band.low > maxLog_) {
      maxLog_ = logProb;
      ++maxRaises_;
    }
    selector_.offer(logProb, band, table);
    return thresholds();
  }

  double maxLog() const { return maxLog_; }
  int32_t maxRaises() const { return maxRaises_; }
  const TableSelector& selector() const { return selector_; }

 private:
  TableSelector& selector_;
  double maxLog_;
  int32_t maxRaises_;
};

// The per-table work of options B and C: the test, the count and the sum of
// the accepted tables, which do not depend on their order, and the accepted
// tables beyond the sink's thresholds handed to it for the steps that do.
// One type for every pass of B and C, on one thread or on several.
//
// The sum is of each accepted table's exact probability (`exact`, from its
// cells), not of the exp of its log-probability: that double carries the
// rounding of every ln(k!) in it, and the printed sum is the exact one,
// rounded once. The log-probability still decides which tables are accepted.
class ConditionVisitor {
 public:
  static constexpr bool kNeedsLogProb = true;

  // The count and sum start from `start`: nothing for a pass (a test may start
  // them near a limit instead of accepting billions of tables). `exact` must
  // outlive the visitor.
  ConditionVisitor(AcceptedRange range, AcceptedTableSink& sink, const ExactProbabilities& exact,
                   const ConditionTotals& start = {})
      : range_(range),
        sink_(sink),
        exact_(exact),
        thresholds_(sink.thresholds()),
        count_(start.count),
        sum_(start.sum) {}

  template <class Table>
  bool visit(double logProb, const Table& table) {
    // A rejected table costs the test alone.
    if (range_.accepts(logProb)) accept(logProb, table);
    return true;
  }

  // Two tables in generation order.
  template <class Table>
  void visitPair(DoublePair logProbs, const Table& first, const Table& second) {
    const int accepted = laneBits(range_.accepts(logProbs));
    if (accepted & 1) accept(logProbs[0], first);
    if (accepted & 2) accept(logProbs[1], second);
  }

  // The tables the condition rejects: the kernel may count them unvisited.
  NoOpRanges noOpRanges() const { return range_.rejected(); }

  int64_t count() const { return count_; }
  // The sum so far; the visitor may go on after it.
  const WideSum& sum() const { return sum_; }

 private:
  template <class Table>
  void accept(double logProb, const Table& table) {
    if (++count_ > kMaxConditionCount) [[unlikely]] {
      stopTooManyAcceptedTables();
    }
    addProbability(TableView(table));
    const LogBand band = toleranceBand(logProb);
    if (thresholds_.acts(band)) handOn(logProb, band, table);
  }

  // Out of line: most accepted tables stop at the thresholds.
  template <class Table>
  [[gnu::noinline]] void handOn(double logProb, LogBand band, const Table& table) {
    thresholds_ = sink_.take(logProb, band, TableView(table));
  }

  // Out of line: the cells are copied out and weighed one by one.
  [[gnu::noinline]] void addProbability(const TableView& table) {
    int16_t cells[kMostCells];
    table.copyTo(cells);
    sum_.add(exact_.probabilityOf(std::span<const int16_t>(cells, exact_.cellCount())));
  }

  static constexpr int kMostCells = 100 * 100;

  AcceptedRange range_;
  AcceptedTableSink& sink_;
  const ExactProbabilities& exact_;
  StepThresholds thresholds_;
  int64_t count_;
  WideSum sum_;  // from the start's sum on
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
