// Option A: the tables of maximum probability (modal tables) and of minimum
// probability, with how many there are, found during the enumeration.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

#include "base/tolerance.h"
#include "engine/request.h"
#include "engine/table_store.h"

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

// The per-table work of the tracking pass. Every table is compared with the
// maximum first, with its own tolerance band: at least as probable (band high
// >= maximum) means a new maximum (band low > maximum) or a tie, and the table
// is not looked at as a minimum. Otherwise, unless only the modal group is
// tracked, it is compared with the minimum the same way: band low <= minimum
// means a new minimum (band high < minimum) or a tie.
template <ExtremeOption kChoice>
class ExtremeTrackingVisitor {
 public:
  static constexpr bool kNeedsLogProb = true;
  static constexpr bool kTracksModal = kChoice != ExtremeOption::kMinimum;
  static constexpr bool kTracksMinimum = kChoice != ExtremeOption::kModal;

  // `start` holds the starting maximum and minimum; the counts start from 0.
  ExtremeTrackingVisitor(const ExtremeTracking& start, TableStore& highTables,
                         TableStore& lowTables, int64_t extremeCapacity)
      : modal_(start.modeLogProb, highTables, extremeCapacity),
        minimum_(start.minLogProb, lowTables, extremeCapacity),
        modalGuard_(modalGuard(start.modeLogProb)),
        minimumGuard_(minimumGuard(start.minLogProb)) {}

  template <class Table>
  bool visit(double logProb, const Table& table) {
    // The common table is clearly inside (minimum, maximum): no band needed.
    if constexpr (kChoice == ExtremeOption::kBoth) {
      if (logProb < modalGuard_ && logProb > minimumGuard_) return true;
    } else if constexpr (kChoice == ExtremeOption::kModal) {
      if (logProb < modalGuard_) return true;
    } else {
      if (logProb > minimumGuard_) return true;
    }
    classify(logProb, table);
    return true;
  }

  // Log-probabilities strictly between these leave the visitor as it is:
  // visit() returns at once for them.
  struct Bounds {
    double low;
    double high;
  };
  Bounds noOpBounds() const {
    constexpr double kLargest = std::numeric_limits<double>::max();
    if constexpr (kChoice == ExtremeOption::kBoth) {
      return {minimumGuard_, modalGuard_};
    } else if constexpr (kChoice == ExtremeOption::kModal) {
      return {-kLargest, modalGuard_};
    } else {
      return {minimumGuard_, kLargest};
    }
  }

  // The results, with the values of the groups that were not tracked left as
  // they started (nothing kept, nothing counted).
  void storeInto(ExtremeTracking& tracking) const {
    if constexpr (kTracksModal) {
      tracking.modeLogProb = modal_.logProb();
      tracking.modeCount = modal_.count();
      tracking.modeKept = modal_.kept();
    }
    if constexpr (kTracksMinimum) {
      tracking.minLogProb = minimum_.logProb();
      tracking.minCount = minimum_.count();
      tracking.minKept = minimum_.kept();
    }
  }

 private:
  // Kept out of line so that visit() stays small enough to be inlined into
  // the enumeration's loop; only ties and new extremes get here. The table
  // view comes by value, so the common path never has to store it.
  template <class Table>
  [[gnu::noinline, gnu::cold]] void classify(double logProb, Table table) {
    const LogBand band = toleranceBand(logProb);
    if constexpr (kTracksModal) {
      if (band.high >= modal_.logProb()) {
        if (band.low > modal_.logProb()) {
          modal_.restart(logProb, table);
          modalGuard_ = modalGuard(logProb);
        } else {
          modal_.join(table);
        }
        return;
      }
    }
    if constexpr (kTracksMinimum) {
      if (band.low <= minimum_.logProb()) {
        if (band.high < minimum_.logProb()) {
          minimum_.restart(logProb, table);
          minimumGuard_ = minimumGuard(logProb);
        } else {
          minimum_.join(table);
        }
      }
    }
  }

  ExtremeGroup modal_;
  ExtremeGroup minimum_;
  double modalGuard_;
  double minimumGuard_;
};

}  // namespace rxc
