#include "engine/stores/selection_lists.h"

#include <algorithm>

namespace rxc {

namespace {

// A table kept while `list` fills: its slot, with room made in the list and in
// `tables` (the list's slots first, as a refusal stops the run before either
// changes), is placed by the list's rules; returns the slot for its cells.
template <class Extreme>
int16_t* fillNext(KeptList<Extreme>& list, TableStore& tables, double logProb, LogBand band) {
  const int32_t slot = list.makeRoomForNext();
  int16_t* cells = tables.slotToFill(slot);
  list.add(slot, logProb, band);
  return cells;
}

}  // namespace

TableSelector::TableSelector(SelectionLists& lists, TableStore& highTables, TableStore& lowTables,
                             int32_t t1, int32_t t2, int cellsPerTable)
    : high_(lists.high),
      low_(lists.low),
      highTables_(highTables),
      lowTables_(lowTables),
      cellsPerTable_(cellsPerTable) {
  high_.reset(t1);
  low_.reset(t2);
  refreshEntries();
}

int16_t* TableSelector::enterHigh(double logProb, LogBand band) {
  // Every accepted table fills the high list first; the low part waits.
  if (!high_.full()) {
    int16_t* cells = fillNext(high_, highTables_, logProb, band);
    refreshEntries();
    return cells;
  }

  // The list is full and the table is more probable than its head: the head
  // slot takes the table. The table pushed out goes to the low store while it
  // has room, at the head of the low list, being at least as probable as
  // every kept low table; otherwise it is more probable than every kept low
  // table and is no longer among the least probable.
  const int32_t head = high_.head();
  if (!low_.full()) {
    const int32_t slot = low_.makeRoomForNext();
    int16_t* cells = lowTables_.slotToFill(slot);
    std::copy_n(highTables_.slot(head), cellsPerTable_, cells);
    low_.addFirst(slot, high_.logProb(head));
  }
  high_.replaceHead(logProb, band);
  refreshEntries();
  return highTables_.slot(head);
}

int16_t* TableSelector::enterLow(double logProb, LogBand band) {
  if (!low_.full()) {
    int16_t* cells = fillNext(low_, lowTables_, logProb, band);
    refreshEntries();
    return cells;
  }

  // Full, and the table is less probable than the head (the most probable
  // kept low table): the head slot takes it.
  const int32_t head = low_.replaceHead(logProb, band);
  refreshEntries();
  return lowTables_.slot(head);
}

bool TableSelector::finishPass() {
  const bool highTiny = high_.finish();
  const bool lowTiny = low_.finish();
  return highTiny || lowTiny;
}

bool keptListsConsistent(int32_t t1, int32_t t2, int64_t conditionCount, int32_t highKept,
                         int32_t lowKept) {
  if (highKept > t1 || lowKept > t2) return false;
  // T1 + T2 can exceed the 4-byte range (both may be typed as 2147483647).
  const int64_t asked = int64_t{t1} + int64_t{t2};
  return !(asked >= conditionCount && int64_t{highKept} + lowKept != conditionCount);
}

}  // namespace rxc
