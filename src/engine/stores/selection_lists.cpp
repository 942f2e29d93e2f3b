#include "engine/stores/selection_lists.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/fast_exp.h"
#include "base/fatal_stop.h"

namespace rxc {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr int32_t kEndOfList = -1;

// Lists up to this long are placed by a walk from the head: a walk of a few
// dozen slots costs little and needs no memory, and the common run (T1 = T2
// = 10) never builds an index.
constexpr int32_t kWalkedLength = 32;

// Where a slot goes in the middle of a list: the slots just before and just
// after it (kEndOfList when it goes last).
struct Place {
  int32_t before;
  int32_t after;
};

Place fromIndex(OrderedListIndex::Neighbours placed) {
  return {placed.before, placed.after > 0 ? placed.after : kEndOfList};
}

// The placement walk of the high list: past every slot after the head whose
// value the newcomer's band's low end reaches; it stops at the first one
// above it.
Place walkHigh(const int32_t* next, const double* logProb, int32_t head, double low) {
  int32_t prev = head;
  int32_t p = next[prev];
  while (p > 0 && low >= logProb[p]) {
    prev = p;
    p = next[p];
  }
  return {prev, p};
}

// The mirror walk of the low list: it stops at the first slot after the head
// whose value is below the band's high end.
Place walkLow(const int32_t* next, const double* logProb, int32_t head, double high) {
  int32_t prev = head;
  int32_t p = next[prev];
  while (p > 0 && high <= logProb[p]) {
    prev = p;
    p = next[p];
  }
  return {prev, p};
}

// Indexes a list of `slots` held slots; a refused memory is the memory stop.
void buildIndex(OrderedListIndex& index, MemoryBudget* budget, int64_t slots, const int32_t* next,
                int32_t head, const double* logProb) {
  if (budget == nullptr || !index.reserve(*budget, slots)) stopRun(kMemoryFailureMessage);
  index.build(next, head, logProb);
}

// The size a list grows to for slot `slot`: doubling, within its capacity.
int64_t grownSlots(int64_t held, int64_t slot, int64_t capacity) {
  return std::min(capacity, std::max<int64_t>(slot, 2 * held));
}

}  // namespace

bool resizeHighSlots(SelectionLists& lists, int64_t slots) {
  if (lists.budget == nullptr) return false;
  MemoryBudget& budget = *lists.budget;
  const int64_t held = lists.highSlots;
  // The index's block, the largest, grows first, while the others are still
  // small: a growth holds an old and a new block at once.
  const bool done = (!lists.highIndex.active() || lists.highIndex.reserve(budget, slots)) &&
                    resizeSlotArray(budget, lists.highNext, held, slots) &&
                    resizeSlotArray(budget, lists.highProb, held, slots) &&
                    resizeSlotArray(budget, lists.highOrder, held, slots) &&
                    resizeSlotArray(budget, lists.highLogProb, held, slots);
  if (done) lists.highSlots = slots;
  return done;
}

bool resizeLowSlots(SelectionLists& lists, int64_t slots) {
  if (lists.budget == nullptr) return false;
  MemoryBudget& budget = *lists.budget;
  const int64_t held = lists.lowSlots;
  const bool done = (!lists.lowIndex.active() || lists.lowIndex.reserve(budget, slots)) &&
                    resizeSlotArray(budget, lists.lowNext, held, slots) &&
                    resizeSlotArray(budget, lists.lowProb, held, slots) &&
                    resizeSlotArray(budget, lists.lowLogProb, held, slots);
  if (done) lists.lowSlots = slots;
  return done;
}

TableSelector::TableSelector(SelectionLists& lists, TableStore& highTables, TableStore& lowTables,
                             int32_t t1, int32_t t2, int cellsPerTable)
    : lists_(lists),
      highTables_(highTables),
      lowTables_(lowTables),
      t1_(t1),
      t2_(t2),
      cellsPerTable_(cellsPerTable) {
  // The first slot of each store is already a one-element list.
  lists_.highKept = 0;
  lists_.lowKept = 0;
  lists_.highHead = lists_.highTail = 1;
  lists_.lowHead = lists_.lowTail = 1;
  if (lists_.highNext) lists_.highNext[1] = kEndOfList;
  if (lists_.lowNext) lists_.lowNext[1] = kEndOfList;
  lists_.movedToLow = 0;
  lists_.highIndex.clear();
  lists_.lowIndex.clear();
  refreshEntries();
}

void TableSelector::refreshEntries() {
  if (t1_ == 0) {
    highEntry_ = kInfinity;
  } else if (lists_.highKept < t1_) {
    highEntry_ = -kInfinity;
  } else {
    highEntry_ = lists_.highLogProb[lists_.highHead];
  }
  if (t2_ == 0) {
    lowEntry_ = -kInfinity;
  } else if (lists_.lowKept < t2_) {
    lowEntry_ = kInfinity;
  } else {
    lowEntry_ = lists_.lowLogProb[lists_.lowHead];
  }
}

double TableSelector::highListFloor() const {
  if (t1_ == 0 || lists_.highKept < t1_) return highEntry_;
  // Every kept slot is in the list, so the index's least is the least kept.
  if (lists_.highIndex.active()) return lists_.highIndex.least();
  const double* logProb = lists_.highLogProb.get();
  return *std::min_element(logProb + 1, logProb + lists_.highKept + 1);
}

double TableSelector::lowListCeiling() const {
  if (t2_ == 0 || lists_.lowKept < t2_) return lowEntry_;
  if (lists_.lowIndex.active()) return lists_.lowIndex.greatest();
  const double* logProb = lists_.lowLogProb.get();
  return *std::max_element(logProb + 1, logProb + lists_.lowKept + 1);
}

void TableSelector::makeRoomHigh(int32_t slot) {
  SelectionLists& s = lists_;
  if (slot > s.highSlots && !resizeHighSlots(s, grownSlots(s.highSlots, slot, s.highCapacity))) {
    stopRun(kMemoryFailureMessage);
  }
  // Indexed before the list changes, so that a refusal leaves it whole.
  if (slot > kWalkedLength && !s.highIndex.active()) {
    buildIndex(s.highIndex, s.budget, s.highSlots, s.highNext.get(), s.highHead,
               s.highLogProb.get());
  }
}

void TableSelector::makeRoomLow(int32_t slot) {
  SelectionLists& s = lists_;
  if (slot > s.lowSlots && !resizeLowSlots(s, grownSlots(s.lowSlots, slot, s.lowCapacity))) {
    stopRun(kMemoryFailureMessage);
  }
  if (slot > kWalkedLength && !s.lowIndex.active()) {
    buildIndex(s.lowIndex, s.budget, s.lowSlots, s.lowNext.get(), s.lowHead, s.lowLogProb.get());
  }
}

int16_t* TableSelector::enterHigh(double logProb, LogBand band) {
  SelectionLists& s = lists_;
  if (s.highKept < t1_) {
    // Every accepted table fills the high list first; the low part waits.
    const int32_t slot = s.highKept + 1;
    makeRoomHigh(slot);
    int16_t* cells = highTables_.slotToFill(slot);
    s.highKept = slot;
    s.highLogProb[slot] = logProb;
    if (slot > 1) linkHigh(slot, band);
    refreshEntries();
    return cells;
  }

  // The list is full and the table is more probable than its head: the head
  // slot takes the table. The table pushed out goes to the low store while it
  // has room; otherwise it is more probable than every kept low table and is
  // no longer among the least probable.
  const int32_t head = s.highHead;
  if (t2_ > 0 && s.lowKept < t2_) {
    const int32_t low = s.lowKept + 1;
    makeRoomLow(low);
    int16_t* cells = lowTables_.slotToFill(low);
    s.lowKept = low;
    std::copy_n(highTables_.slot(head), cellsPerTable_, cells);
    s.lowLogProb[low] = s.highLogProb[head];
    s.movedToLow = 1;
  }
  s.highLogProb[head] = logProb;
  if (t1_ > 1 && band.low >= s.highLogProb[s.highNext[head]]) {
    s.highHead = s.highNext[head];
    if (s.highIndex.active()) s.highIndex.popFront(s.highLogProb.get());
    linkHigh(head, band);
  } else if (s.highIndex.active()) {
    s.highIndex.frontValueChanged(s.highLogProb.get());
  }
  if (s.movedToLow == 1) {
    s.movedToLow = 0;
    // At least as probable as every kept low table: it heads the low list.
    if (t2_ != 1 && s.lowKept != 1) pushFrontLow(s.lowKept);
  }
  refreshEntries();
  return highTables_.slot(head);
}

int16_t* TableSelector::enterLow(double logProb, LogBand band) {
  SelectionLists& s = lists_;
  if (s.lowKept < t2_) {
    const int32_t slot = s.lowKept + 1;
    makeRoomLow(slot);
    int16_t* cells = lowTables_.slotToFill(slot);
    s.lowKept = slot;
    s.lowLogProb[slot] = logProb;
    if (slot > 1) linkLow(slot, band);
    refreshEntries();
    return cells;
  }

  // Full, and the table is less probable than the head (the most probable
  // kept low table): the head slot takes it.
  const int32_t head = s.lowHead;
  s.lowLogProb[head] = logProb;
  if (t2_ > 1 && band.high <= s.lowLogProb[s.lowNext[head]]) {
    s.lowHead = s.lowNext[head];
    if (s.lowIndex.active()) s.lowIndex.popFront(s.lowLogProb.get());
    linkLow(head, band);
  } else if (s.lowIndex.active()) {
    s.lowIndex.frontValueChanged(s.lowLogProb.get());
  }
  refreshEntries();
  return lowTables_.slot(head);
}

void TableSelector::linkHigh(int32_t slot, LogBand band) {
  SelectionLists& s = lists_;
  int32_t* next = s.highNext.get();
  const double* logProb = s.highLogProb.get();
  OrderedListIndex& index = s.highIndex;
  if (band.low < logProb[s.highHead]) {
    next[slot] = s.highHead;
    s.highHead = slot;
    if (index.active()) index.pushFront(slot, logProb);
  } else if (band.high > logProb[s.highTail]) {
    next[s.highTail] = slot;
    next[slot] = kEndOfList;
    s.highTail = slot;
    if (index.active()) index.pushBack(slot, logProb);
  } else {
    // Past every table the newcomer is at least as probable as (by its band's
    // low end); it goes just before the first one it ties with or is below.
    // The head is not among them (the newcomer's low end reaches it), so the
    // index's first slot above the low end is where the walk stops.
    const Place place = index.active()
                            ? fromIndex(index.insertBeforeFirstAbove(slot, band.low, logProb))
                            : walkHigh(next, logProb, s.highHead, band.low);
    next[place.before] = slot;
    next[slot] = place.after;
    // Only a band of no width (a log-probability of 0) that equals the tail's
    // value passes the tail.
    if (place.after < 0) s.highTail = slot;
  }
}

void TableSelector::linkLow(int32_t slot, LogBand band) {
  SelectionLists& s = lists_;
  int32_t* next = s.lowNext.get();
  const double* logProb = s.lowLogProb.get();
  OrderedListIndex& index = s.lowIndex;
  if (band.high > logProb[s.lowHead]) {
    next[slot] = s.lowHead;
    s.lowHead = slot;
    if (index.active()) index.pushFront(slot, logProb);
  } else if (band.low < logProb[s.lowTail]) {
    next[s.lowTail] = slot;
    next[slot] = kEndOfList;
    s.lowTail = slot;
    if (index.active()) index.pushBack(slot, logProb);
  } else {
    const Place place = index.active()
                            ? fromIndex(index.insertBeforeFirstBelow(slot, band.high, logProb))
                            : walkLow(next, logProb, s.lowHead, band.high);
    next[place.before] = slot;
    next[slot] = place.after;
    if (place.after < 0) s.lowTail = slot;
  }
}

void TableSelector::pushFrontLow(int32_t slot) {
  SelectionLists& s = lists_;
  s.lowNext[slot] = s.lowHead;
  s.lowHead = slot;
  if (s.lowIndex.active()) s.lowIndex.pushFront(slot, s.lowLogProb.get());
}

bool TableSelector::finishPass() {
  SelectionLists& s = lists_;
  bool tinyProbability = false;
  if (t1_ > 0 && s.highKept > 0) {
    for (int32_t k = 1; k <= s.highKept; ++k) s.highProb[k] = fastExp(s.highLogProb[k]);
    if (s.highProb[s.highHead] == 0.0) tinyProbability = true;
    // HighOrder: from the least to the most probable kept table. A walk that
    // does not visit exactly HighKept slots (or would loop) is a broken list.
    int32_t visited = 0;
    bool broken = false;
    for (int32_t slot = s.highHead; slot > 0; slot = s.highNext[slot]) {
      if (visited == s.highKept) {
        broken = true;
        break;
      }
      s.highOrder[++visited] = slot;
    }
    if (broken || visited != s.highKept) stopRun(" Error 3. Contactar con el autor.");
  }
  if (t2_ > 0 && s.lowKept > 0) {
    for (int32_t k = 1; k <= s.lowKept; ++k) s.lowProb[k] = fastExp(s.lowLogProb[k]);
    if (s.lowProb[s.lowTail] == 0.0) tinyProbability = true;
  }
  return tinyProbability;
}

bool keptListsConsistent(int32_t t1, int32_t t2, int64_t conditionCount, int32_t highKept,
                         int32_t lowKept) {
  if (highKept > t1 || lowKept > t2) return false;
  // T1 + T2 can exceed the 4-byte range (both may be typed as 2147483647).
  const int64_t asked = int64_t{t1} + int64_t{t2};
  return !(asked >= conditionCount && int64_t{highKept} + lowKept != conditionCount);
}

}  // namespace rxc
