// One kept list of options B and C: up to T of the accepted tables, the most
// probable ones (KeptList<MoreProbable>, the high list, T = T1) or the least
// probable ones (KeptList<LessProbable>, the low list, T = T2), threaded in
// order by a singly linked list of slots. The list holds the slots' links,
// log-probabilities and probabilities, the index over its order and their
// growth; the tables' cells are in a TableStore, slot for slot.
//
// The two lists are one another's mirror image. Call a table more extreme than
// another when it is more probable (high list) or less probable (low list):
// a list runs from its head, its least extreme kept table, to its tail, its
// most extreme one, and every comparison uses the newcomer's tolerance band.
// A full list gives up its head only to a table that reaches the head's value
// (is at least as extreme within its band). A newcomer that does not reach
// the head's value becomes the head; else one that passes the tail's value
// (is more extreme by the far end of its band) becomes the tail; else it goes
// past every table whose value it reaches and stops at the first it does not.
//
// A table that goes into the middle of a list is placed by a walk from the
// head while the list is short; once it holds more than a few dozen tables,
// an index over its order (ordered_list_index.h) finds the same place in
// logarithmic time, so that keeping millions of tables costs about as much
// as visiting them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>

#include "base/fast_exp.h"
#include "base/fatal_stop.h"
#include "base/memory_budget.h"
#include "base/tolerance.h"
#include "engine/stores/kept_view.h"
#include "engine/stores/ordered_list_index.h"
#include "engine/stores/table_store.h"

namespace rxc {

// The high list: more extreme is more probable. Its head is its least
// probable table, so its links run against the report's order (most probable
// first); the end-of-pass step writes an order array to read it by.
struct MoreProbable {
  static constexpr bool kHeadIsLeastProbable = true;
  // The entry of a list that takes no table: no band reaches it.
  static constexpr double kClosed = std::numeric_limits<double>::infinity();
  // At least as probable as `value`, by the band's low end.
  static bool reaches(LogBand band, double value) { return band.low >= value; }
  // More probable than `value`, by the band's high end.
  static bool passes(LogBand band, double value) { return band.high > value; }
  // Indexes `slot` just before the first slot whose value the band does not
  // reach.
  static OrderedListIndex::Neighbours insertBeforeFirstUnreached(OrderedListIndex& index,
                                                                 int32_t slot, LogBand band,
                                                                 const double* values) {
    return index.insertBeforeFirstAbove(slot, band.low, values);
  }
  // The least extreme value: the least.
  static double leastExtreme(const OrderedListIndex& index) { return index.least(); }
  static double leastExtreme(const double* first, const double* last) {
    return *std::min_element(first, last);
  }
};

// The low list: more extreme is less probable. Its head is its most probable
// table, so its links run in the report's order.
struct LessProbable {
  static constexpr bool kHeadIsLeastProbable = false;
  static constexpr double kClosed = -std::numeric_limits<double>::infinity();
  // At most as probable as `value`, by the band's high end.
  static bool reaches(LogBand band, double value) { return band.high <= value; }
  // Less probable than `value`, by the band's low end.
  static bool passes(LogBand band, double value) { return band.low < value; }
  static OrderedListIndex::Neighbours insertBeforeFirstUnreached(OrderedListIndex& index,
                                                                 int32_t slot, LogBand band,
                                                                 const double* values) {
    return index.insertBeforeFirstBelow(slot, band.high, values);
  }
  // The least extreme value: the greatest.
  static double leastExtreme(const OrderedListIndex& index) { return index.greatest(); }
  static double leastExtreme(const double* first, const double* last) {
    return *std::max_element(first, last);
  }
};

template <class Extreme>
class KeptList {
 public:
  // Sets the budget, which the list keeps for its growth, and the capacity
  // (slots 1..capacity at most), and takes room for the first `slots` slots.
  // False when the budget or the system refuses.
  bool acquire(MemoryBudget& budget, int64_t capacity, int64_t slots) {
    budget_ = &budget;
    capacity_ = capacity;
    return resize(slots);
  }

  // Room for `slots` slots in the arrays, keeping what they hold, and in the
  // index when it is active; the memory is taken from the budget. False when
  // the budget or the system refuses.
  bool resize(int64_t slots);

  // The list empty, to take up to `limit` tables; its first slot is already a
  // one-element list.
  void reset(int32_t limit);

  int32_t limit() const { return limit_; }
  int32_t kept() const { return kept_; }
  bool full() const { return kept_ >= limit_; }
  int32_t head() const { return head_; }
  int32_t tail() const { return tail_; }
  // The slot after `slot` toward the tail; negative at the tail.
  int32_t next(int32_t slot) const { return next_[slot]; }
  double logProb(int32_t slot) const { return logProb_[slot]; }
  // Set by the end-of-pass step.
  double probability(int32_t slot) const { return prob_[slot]; }
  // The slot of the k-th least probable kept table, k = 1..kept(); set by the
  // end-of-pass step.
  int32_t orderedSlot(int32_t k) const requires Extreme::kHeadIsLeastProbable { return order_[k]; }
  const OrderedListIndex& index() const { return index_; }
  int64_t slotsHeld() const { return slots_; }
  int64_t capacity() const { return capacity_; }

  // A table enters when its band reaches this value: the least extreme kept
  // value (the head's) once the list is full, any value while it fills
  // (-kClosed), none when the list takes no table (kClosed).
  double entry() const {
    if (limit_ == 0) return Extreme::kClosed;
    if (kept_ < limit_) return -Extreme::kClosed;
    return logProb_[head_];
  }
  // A bound on entry() now and at any later time. The head's value can step
  // back within a band when the head is replaced; the least extreme value of
  // a full list only ever grows more extreme.
  double entryBound() const {
    if (limit_ == 0 || kept_ < limit_) return entry();
    // Every kept slot is in the list, so the index's extreme is the kept one.
    if (index_.active()) return Extreme::leastExtreme(index_);
    return Extreme::leastExtreme(logProb_.get() + 1, logProb_.get() + kept_ + 1);
  }

  // The slot the next table kept while the list fills takes, kept() + 1,
  // with room made for it: the arrays grow when it is past what they hold,
  // and the list is indexed when the slot makes it long. A refusal is the
  // memory stop, made before the list changes.
  int32_t makeRoomForNext();
  // Slot `slot` from makeRoomForNext() takes a table of log-probability
  // `logProb` and band `band`, placed by the rules.
  void add(int32_t slot, double logProb, LogBand band);
  // The same for a table at most as extreme as every kept one: it heads the
  // list.
  void addFirst(int32_t slot, double logProb);
  // The list is full and the table reaches the head's value: the head's slot
  // takes the table, which is placed by the rules; returns that slot.
  int32_t replaceHead(double logProb, LogBand band);

  // End-of-pass step: the probabilities and, for the high list, the order;
  // a walk of the links that does not visit exactly kept() slots (or would
  // loop) is a broken list and ends the run (" Error 3. ..."). Returns
  // whether the least probable kept table has probability 0.0.
  bool finish();

  // The kept tables, whose cells are in `store`, from the most probable; after
  // finish().
  KeptListRange tables(const TableStore& store) const;

 private:
  static constexpr int32_t kEndOfList = -1;
  // Lists up to this long are placed by a walk from the head: a walk of a few
  // dozen slots costs little and needs no memory, and the common run (T1 =
  // T2 = 10) never builds an index.
  static constexpr int32_t kWalkedLength = 32;

  // Where a slot goes in the middle of the list: the slots just before and
  // just after it (kEndOfList when it goes last).
  struct Place {
    int32_t before;
    int32_t after;
  };

  void link(int32_t slot, LogBand band);
  Place walk(LogBand band) const;

  std::unique_ptr<int32_t[]> next_;
  std::unique_ptr<int32_t[]> order_;  // the high list's alone
  std::unique_ptr<double[]> prob_;
  std::unique_ptr<double[]> logProb_;
  int64_t slots_ = 0;
  int64_t capacity_ = 0;
  // Built once the list is long; it grows with the arrays, from the budget.
  OrderedListIndex index_;
  MemoryBudget* budget_ = nullptr;
  int32_t limit_ = 0;
  int32_t kept_ = 0;
  int32_t head_ = 1;
  int32_t tail_ = 1;

  // Lets the tests of the end-of-pass check break a list on purpose.
  friend struct KeptListProbe;
};

template <class Extreme>
bool KeptList<Extreme>::resize(int64_t slots) {
  if (budget_ == nullptr) return false;
  MemoryBudget& budget = *budget_;
  const int64_t held = slots_;
  // The index's block, the largest, grows first, while the others are still
  // small: a growth holds an old and a new block at once.
  const bool done =
      (!index_.active() || index_.reserve(budget, slots)) &&
      resizeSlotArray(budget, next_, held, slots) && resizeSlotArray(budget, prob_, held, slots) &&
      (!Extreme::kHeadIsLeastProbable || resizeSlotArray(budget, order_, held, slots)) &&
      resizeSlotArray(budget, logProb_, held, slots);
  if (done) slots_ = slots;
  return done;
}

template <class Extreme>
void KeptList<Extreme>::reset(int32_t limit) {
  limit_ = limit;
  kept_ = 0;
  head_ = tail_ = 1;
  if (next_) next_[1] = kEndOfList;
  index_.clear();
}

template <class Extreme>
int32_t KeptList<Extreme>::makeRoomForNext() {
  const int32_t slot = kept_ + 1;
  if (slot > slots_) {
    // Doubling, within the capacity.
    const int64_t grown = std::min(capacity_, std::max<int64_t>(slot, 2 * slots_));
    if (!resize(grown)) stopRun(kMemoryFailureMessage);
  }
  // Indexed before the list changes, so that a refusal leaves it whole.
  if (slot > kWalkedLength && !index_.active()) {
    if (budget_ == nullptr || !index_.reserve(*budget_, slots_)) stopRun(kMemoryFailureMessage);
    index_.build(next_.get(), head_, logProb_.get());
  }
  return slot;
}

template <class Extreme>
void KeptList<Extreme>::add(int32_t slot, double logProb, LogBand band) {
  kept_ = slot;
  logProb_[slot] = logProb;
  if (slot > 1) link(slot, band);
}

template <class Extreme>
void KeptList<Extreme>::addFirst(int32_t slot, double logProb) {
  kept_ = slot;
  logProb_[slot] = logProb;
  if (slot == 1) return;
  next_[slot] = head_;
  head_ = slot;
  if (index_.active()) index_.pushFront(slot, logProb_.get());
}

template <class Extreme>
int32_t KeptList<Extreme>::replaceHead(double logProb, LogBand band) {
  const int32_t head = head_;
  logProb_[head] = logProb;
  if (kept_ > 1 && Extreme::reaches(band, logProb_[next_[head]])) {
    head_ = next_[head];
    if (index_.active()) index_.popFront(logProb_.get());
    link(head, band);
  } else if (index_.active()) {
    index_.frontValueChanged(logProb_.get());
  }
  return head;
}

template <class Extreme>
void KeptList<Extreme>::link(int32_t slot, LogBand band) {
  int32_t* next = next_.get();
  const double* logProb = logProb_.get();
  if (!Extreme::reaches(band, logProb[head_])) {
    next[slot] = head_;
    head_ = slot;
    if (index_.active()) index_.pushFront(slot, logProb);
  } else if (Extreme::passes(band, logProb[tail_])) {
    next[tail_] = slot;
    next[slot] = kEndOfList;
    tail_ = slot;
    if (index_.active()) index_.pushBack(slot, logProb);
  } else {
    // The head is not among the slots passed over (the newcomer reaches its
    // value), so the index's first slot not reached is where the walk stops.
    Place place;
    if (index_.active()) {
      const OrderedListIndex::Neighbours placed =
          Extreme::insertBeforeFirstUnreached(index_, slot, band, logProb);
      place = {placed.before, placed.after > 0 ? placed.after : kEndOfList};
    } else {
      place = walk(band);
    }
    next[place.before] = slot;
    next[slot] = place.after;
    // Only a band of no width (a log-probability of 0) that equals the tail's
    // value passes the tail.
    if (place.after < 0) tail_ = slot;
  }
}

template <class Extreme>
typename KeptList<Extreme>::Place KeptList<Extreme>::walk(LogBand band) const {
  const int32_t* next = next_.get();
  const double* logProb = logProb_.get();
  int32_t prev = head_;
  int32_t p = next[prev];
  while (p > 0 && Extreme::reaches(band, logProb[p])) {
    prev = p;
    p = next[p];
  }
  return {prev, p};
}

template <class Extreme>
bool KeptList<Extreme>::finish() {
  if (kept_ == 0) return false;
  for (int32_t k = 1; k <= kept_; ++k) prob_[k] = fastExp(logProb_[k]);
  const bool tiny = prob_[Extreme::kHeadIsLeastProbable ? head_ : tail_] == 0.0;
  if constexpr (Extreme::kHeadIsLeastProbable) {
    // The order, from the least to the most probable kept table.
    int32_t visited = 0;
    bool broken = false;
    for (int32_t slot = head_; slot > 0; slot = next_[slot]) {
      if (visited == kept_) {
        broken = true;
        break;
      }
      order_[++visited] = slot;
    }
    if (broken || visited != kept_) stopRun(" Error 3. Contactar con el autor.");
  }
  return tiny;
}

template <class Extreme>
KeptListRange KeptList<Extreme>::tables(const TableStore& store) const {
  KeptListRange::Source source{&store, prob_.get(), logProb_.get(), nullptr, next_.get()};
  if constexpr (Extreme::kHeadIsLeastProbable) {
    source.order = order_.get();
    return {source, kept_};
  } else {
    return {source, kept_ > 0 ? head_ : 0};
  }
}

}  // namespace rxc
