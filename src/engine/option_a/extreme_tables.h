// Option A: the tables of maximum probability (modal tables) and of minimum
// probability, with how many there are, found during the enumeration.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

#include "base/tolerance.h"
#include "engine/bounds/enumeration_screen.h"
#include "engine/kernel/table_view.h"
#include "engine/problem/request.h"
#include "engine/stores/table_store.h"

namespace rxc {

// The two groups of option A: the tables of maximum probability (the modal
// tables) and those of minimum probability.
enum class ExtremeSide { kMaximum, kMinimum };

struct ExtremeTracking {
  double modeLogProb = 0.0;
  double minLogProb = 0.0;
  int32_t modeKept = 0;
  int32_t minKept = 0;
  double modeCount = 0.0;
  double minCount = 0.0;
};

// Comparison guards. A log-probability below modalGuard(s) is, by the band of
// its own, less probable than s (band high < s); one above minimumGuard(s) is
// more probable than s (band low > s). The guards sit two tolerances away from
// s, so rounding in the band arithmetic can never cross them; values between a
// guard and s are classified by the band rule itself. Tiny non-zero values,
// where the band arithmetic loses its relative precision, get guards that send
// every table to the band rule.
double modalGuard(double stored);
double minimumGuard(double stored);

// One group of held tables: its log-probability, how many tables tie with it,
// and the first of them in generation order.
class ExtremeGroup {
 public:
  ExtremeGroup(double logProb, TableStore& slots, int64_t capacity)
      : logProb_(logProb),
        slots_(&slots),
        capacity_(std::min<int64_t>(capacity, slots.capacity())) {}

  // A table more probable (modal group) or less probable (minimum group) than
  // the group: it restarts the group, held in slot 1.
  template <class Table>
  void restart(double logProb, const Table& table) {
    logProb_ = logProb;
    count_ = 1.0;
    kept_ = capacity_ > 0 ? 1 : 0;
    if (kept_ > 0) table.copyTo(slots_->slotToFill(1));
  }

  // A table that ties with the group: held while there is room, counted always.
  // The store grows as tables are held (a refused growth is the memory stop).
  template <class Table>
  void join(const Table& table) {
    if (kept_ < capacity_) {
      ++kept_;
      count_ = static_cast<double>(kept_);
      table.copyTo(slots_->slotToFill(kept_));
    } else {
      count_ = count_ + 1.0;
    }
  }

  double logProb() const { return logProb_; }
  double count() const { return count_; }
  int32_t kept() const { return kept_; }

 private:
  double logProb_;
  TableStore* slots_;
  int64_t capacity_;  // never above the store's own number of slots
  double count_ = 0.0;
  int32_t kept_ = 0;
};

// Which groups a tracking pass follows, from ExtremeOption 1, 2 or 3. A group
// that is not followed gets a guard at the end of the finite doubles, which no
// log-probability passes, so the per-table test is the same for the three
// options (one type of visitor, one kernel per shape for them all).
struct TrackedGroups {
  bool modal;
  bool minimum;
  explicit TrackedGroups(ExtremeOption choice)
      : modal(choice != ExtremeOption::kMinimum), minimum(choice != ExtremeOption::kModal) {}
  double highGuard(double modeLogProb) const {
    return modal ? modalGuard(modeLogProb) : kLargestLog;
  }
  double lowGuard(double minLogProb) const {
    return minimum ? minimumGuard(minLogProb) : -kLargestLog;
  }
};

// The guards of a tracking pass: a log-probability strictly between them
// can change nothing, whatever the tables seen before.
struct ExtremeGuards {
  double low;
  double high;
};

// What takes the tables outside the guards: the tracking step itself
// (ExtremeTracker), or a worker that hands them on to the thread that runs
// that step. Reached only by ties and new extremes (and, for a worker, the
// tables near them), never by the common table.
class ExtremeSink {
 public:
  virtual ExtremeGuards guards() const = 0;
  // Takes a table outside the guards; returns the new guards.
  virtual ExtremeGuards take(double logProb, const TableView& table) = 0;

 protected:
  ~ExtremeSink() = default;
};

// The tracking step. Every table is compared with the maximum first, with its
// own tolerance band: at least as probable (band high >= maximum) means a new
// maximum (band low > maximum) or a tie, and the table is not looked at as a
// minimum. Otherwise, unless only the modal group is tracked, it is compared
// with the minimum the same way: band low <= minimum means a new minimum
// (band high < minimum) or a tie.
class ExtremeTracker final : public ExtremeSink {
 public:
  // `start` holds the starting maximum and minimum; the counts start from 0.
  ExtremeTracker(ExtremeOption choice, const ExtremeTracking& start, TableStore& highTables,
                 TableStore& lowTables, int64_t extremeCapacity)
      : tracked_(choice),
        modal_(start.modeLogProb, highTables, extremeCapacity),
        minimum_(start.minLogProb, lowTables, extremeCapacity) {}

  ExtremeGuards guards() const override {
    return {tracked_.lowGuard(minimum_.logProb()), tracked_.highGuard(modal_.logProb())};
  }

  ExtremeGuards take(double logProb, const TableView& table) override {
    const LogBand band = toleranceBand(logProb);
    if (tracked_.modal && band.high >= modal_.logProb()) {
      if (band.low > modal_.logProb()) {
        modal_.restart(logProb, table);
      } else {
        modal_.join(table);
      }
    } else if (tracked_.minimum && band.low <= minimum_.logProb()) {
      if (band.high < minimum_.logProb()) {
        minimum_.restart(logProb, table);
      } else {
        minimum_.join(table);
      }
    }
    return guards();
  }

  // The present maximum and minimum (their starting values when not tracked).
  double modeLogProb() const { return modal_.logProb(); }
  double minLogProb() const { return minimum_.logProb(); }

  // The results, with the values of the groups that were not tracked left as
  // they started (nothing kept, nothing counted).
  void storeInto(ExtremeTracking& tracking) const {
    if (tracked_.modal) {
      tracking.modeLogProb = modal_.logProb();
      tracking.modeCount = modal_.count();
      tracking.modeKept = modal_.kept();
    }
    if (tracked_.minimum) {
      tracking.minLogProb = minimum_.logProb();
      tracking.minCount = minimum_.count();
      tracking.minKept = minimum_.kept();
    }
  }

 private:
  TrackedGroups tracked_;
  ExtremeGroup modal_;
  ExtremeGroup minimum_;
};

// The per-table work of option A's tracking pass: the common table, clearly
// inside (minimum, maximum), costs two comparisons; the others go to the sink.
// One type for every tracking pass, on one thread or on several.
class ExtremeVisitor {
 public:
  static constexpr bool kNeedsLogProb = true;

  explicit ExtremeVisitor(ExtremeSink& sink) : sink_(sink), guards_(sink.guards()) {}

  template <class Table>
  bool visit(double logProb, const Table& table) {
    if (logProb < guards_.high && logProb > guards_.low) return true;
    handOn(logProb, table);
    return true;
  }

  // Log-probabilities strictly between these leave the visitor as it is:
  // visit() returns at once for them. The kernel may skip them on estimates.
  static constexpr bool kScreensEachTable = true;
  NoOpRanges noOpRanges() const {
    NoOpRanges noOp;
    noOp.ranges[0] = {guards_.low, guards_.high};
    return noOp;
  }

 private:
  // Kept out of line so that visit() stays small enough to be inlined into
  // the enumeration's loop. The table view comes by value, so the common path
  // never has to store it.
  template <class Table>
  [[gnu::noinline, gnu::cold]] void handOn(double logProb, Table table) {
    guards_ = sink_.take(logProb, TableView(table));
  }

  ExtremeSink& sink_;
  ExtremeGuards guards_;
};

}  // namespace rxc
