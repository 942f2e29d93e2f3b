// Options B and C: the T1 most and T2 least probable accepted tables, kept in
// two bounded stores threaded by ordered singly linked slot lists.
//
// The high list runs from its head (the least probable kept table) to its tail
// (the most probable); the low list runs from its head (the most probable kept
// low table) to its tail (the least probable). A table is never in both.
//
// A table that goes into the middle of a list is placed by a walk from the
// head while the list is short; once it holds more than a few dozen tables,
// an index over its order (ordered_list_index.h) finds the same place in
// logarithmic time, so that keeping millions of tables costs about as much
// as visiting them.
#pragma once

#include <cstdint>
#include <memory>

#include "base/memory_budget.h"
#include "base/tolerance.h"
#include "engine/stores/ordered_list_index.h"
#include "engine/stores/table_store.h"

namespace rxc {

struct SelectionLists {
  // Slot arrays of the second group, indexed 1..highSlots or 1..lowSlots
  // (index 0 unused). They start small and grow, as the table stores do, up
  // to highCapacity = T1 + 1 and lowCapacity = T2 + 1 slots, each growth
  // taken from `budget`.
  std::unique_ptr<int32_t[]> highNext, lowNext, highOrder;
  std::unique_ptr<double[]> highProb, lowProb, highLogProb, lowLogProb;
  int64_t highSlots = 0, lowSlots = 0;
  int64_t highCapacity = 0, lowCapacity = 0;
  // The indexes over the lists' order, built once a list is long; they grow
  // with the slot arrays, from the same budget.
  OrderedListIndex highIndex, lowIndex;
  MemoryBudget* budget = nullptr;
  int32_t highKept = 0, lowKept = 0;
  int32_t highHead = 1, highTail = 1, lowHead = 1, lowTail = 1;
  int16_t movedToLow = 0;
};

// Gives the high list's slot arrays (or the low list's) room for `slots`
// slots, keeping what they hold, and its index when it has one; the memory
// is taken from lists.budget. False when the budget or the system refuses.
bool resizeHighSlots(SelectionLists& lists, int64_t slots);
bool resizeLowSlots(SelectionLists& lists, int64_t slots);

// The selection step and the end-of-pass step over one run's lists and stores.
// The common case, an accepted table that is neither among the most nor among
// the least probable so far, costs two comparisons against cached list ends;
// every other case leaves the inline path.
class TableSelector {
 public:
  // The slot arrays of `lists` and the stores must hold t1 + 1 and t2 + 1
  // slots. Sets the lists to their initial state.
  TableSelector(SelectionLists& lists, TableStore& highTables, TableStore& lowTables, int32_t t1,
                int32_t t2, int cellsPerTable);

  // Selection step for an accepted table. `table` must provide
  // copyTo(int16_t* cells) (r x c cells, row-major); it is called only when
  // the table enters a store.
  template <class Table>
  void offer(double logProb, LogBand band, const Table& table) {
    if (band.low >= highEntry_) {
      table.copyTo(enterHigh(logProb, band));
    } else if (band.high <= lowEntry_) {
      table.copyTo(enterLow(logProb, band));
    }
  }

  // Where the lists take tables now (see highEntry_ and lowEntry_).
  double highEntry() const { return highEntry_; }
  double lowEntry() const { return lowEntry_; }

  // Bounds on where the lists take tables from now on, for workers that run
  // ahead of the selection step: a table enters the high part only if its
  // band's low end is at least highListFloor(), and the low part only if its
  // band's high end is at most lowListCeiling(), now and at any later time.
  // (The entry value itself, a list's head, can step back within a band when
  // the head is replaced; the least kept log-probability of a full high list
  // only rises, the greatest of a full low list only falls.)
  double highListFloor() const;
  double lowListCeiling() const;

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
  // Room for slot `slot` in the high (low) list's arrays and store: they grow
  // when it is past what they hold, and the list is indexed when the slot
  // makes it long; a refused growth is the memory stop, made before the list
  // changes.
  void makeRoomHigh(int32_t slot);
  void makeRoomLow(int32_t slot);
  // Links `slot`, whose value is set, into the high (low) list by the
  // placement rules; the index, when the list has one, follows.
  void linkHigh(int32_t slot, LogBand band);
  void linkLow(int32_t slot, LogBand band);
  // Slot `slot` of the low list, set and at least as probable as every kept
  // low table, becomes its head.
  void pushFrontLow(int32_t slot);
  void refreshEntries();

  SelectionLists& lists_;
  TableStore& highTables_;
  TableStore& lowTables_;
  int32_t t1_;
  int32_t t2_;
  int cellsPerTable_;
  // A table enters the high part when its band's low end is at least
  // highEntry_, and the low part when its band's high end is at most
  // lowEntry_: minus infinity while the high list fills, the head's
  // log-probability once it is full, plus infinity when T1 = 0; likewise,
  // mirrored, for the low list.
  double highEntry_;
  double lowEntry_;
};

// The check made once the total number of tables is written: the lists hold
// no more than was asked for, and all of the accepted tables whenever they
// could (T1 + T2 at least the count). Under option A everything is 0.
bool keptListsConsistent(int32_t t1, int32_t t2, int64_t conditionCount, int32_t highKept,
                         int32_t lowKept);

}  // namespace rxc
