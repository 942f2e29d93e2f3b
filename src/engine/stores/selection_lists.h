// Options B and C: the T1 most and T2 least probable accepted tables, kept in
// two bounded stores threaded by ordered singly linked slot lists
// (kept_list.h): the high list runs from its head (the least probable kept
// table) to its tail (the most probable); the low list runs from its head (the
// most probable kept low table) to its tail (the least probable). A table is
// never in both.
#pragma once

#include <cstdint>

#include "base/tolerance.h"
#include "engine/stores/kept_list.h"
#include "engine/stores/table_store.h"

namespace rxc {

struct SelectionLists {
  KeptList<MoreProbable> high;  // up to T1 tables, in highTables' slots
  KeptList<LessProbable> low;   // up to T2 tables, in lowTables' slots
};

// The selection step and the end-of-pass step over one run's lists and stores.
// The common case, an accepted table that is neither among the most nor among
// the least probable so far, costs two comparisons against cached list ends;
// every other case leaves the inline path.
class TableSelector {
 public:
  // The lists' slot arrays and the stores must be able to grow to t1 + 1 and
  // t2 + 1 slots. Sets the lists to their initial state.
  TableSelector(SelectionLists& lists, TableStore& highTables, TableStore& lowTables, int32_t t1,
                int32_t t2, int cellsPerTable);

  // Selection step for an accepted table. `table` must provide
  // copyTo(int16_t* cells) (r x c cells, row-major); it is called only when
  // the table enters a store.
  template <class Table>
  void offer(double logProb, LogBand band, const Table& table) {
    if (MoreProbable::reaches(band, highEntry_)) {
      table.copyTo(enterHigh(logProb, band));
    } else if (LessProbable::reaches(band, lowEntry_)) {
      table.copyTo(enterLow(logProb, band));
    }
  }

  // Where the lists take tables now (KeptList::entry()).
  double highEntry() const { return highEntry_; }
  double lowEntry() const { return lowEntry_; }

  // Bounds on where the lists take tables from now on, for workers that run
  // ahead of the selection step: a table enters the high part only if its
  // band's low end is at least highListFloor(), and the low part only if its
  // band's high end is at most lowListCeiling(), now and at any later time
  // (KeptList::entryBound()).
  double highListFloor() const { return high_.entryBound(); }
  double lowListCeiling() const { return low_.entryBound(); }

  // End-of-pass step: fills the probabilities and the high order. Returns
  // TinyProbabilityFlag: whether the least probable table of a list has
  // probability 0.0. A broken high list ends the run (" Error 3. ...").
  bool finishPass();

 private:
  // The high part of the step for a table that goes into the high list (it is
  // not full, or the table beats its head); returns the slot for its cells.
  int16_t* enterHigh(double logProb, LogBand band);
  // The low part for a table that goes into the low list (it is not full, or
  // the table is below its head); returns the slot for its cells.
  int16_t* enterLow(double logProb, LogBand band);
  void refreshEntries() {
    highEntry_ = high_.entry();
    lowEntry_ = low_.entry();
  }

  KeptList<MoreProbable>& high_;
  KeptList<LessProbable>& low_;
  TableStore& highTables_;
  TableStore& lowTables_;
  int cellsPerTable_;
  // The lists' entries, cached for the inline step.
  double highEntry_;
  double lowEntry_;
};

// The check made once the total number of tables is written: the lists hold
// no more than was asked for, and all of the accepted tables whenever they
// could (T1 + T2 at least the count). Under option A everything is 0.
bool keptListsConsistent(int32_t t1, int32_t t2, int64_t conditionCount, int32_t highKept,
                         int32_t lowKept);

}  // namespace rxc
