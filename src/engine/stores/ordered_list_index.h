// An index over the order of a kept-table slot list (kept_list.h), so
// that a table placed in the middle of a long list finds its place in
// logarithmic time instead of by a walk from the head.
//
// The list is ordered only within the tolerance bands, never strictly, so the
// index is not keyed by value: it is a treap keyed by position in the list
// (the in-order sequence of its nodes is the list from head to tail), whose
// priorities are a fixed hash of the slot number, so that its shape depends
// on nothing but the list. Each node carries the greatest and the least
// log-probability of its subtree. The first slot whose value is above (or
// below) a bound is then found by a descent that enters a left subtree only
// when that subtree holds one: exactly the slot at which the list's walk
// would stop.
//
// Nodes are slot numbers; slot 0 is the empty subtree. A node holds its
// links and its subtree's extremes together, 24 bytes a slot: with a million
// tables kept the index's time is its cache misses, and a step down the tree
// then reads the node, its left child and the slot's value. The values are
// the list's own log-probability array, passed to every call because it
// moves when the list grows. The index holds no list links of its own: the
// caller keeps the list's `next` links and head and tail, and tells the
// index of each change to the order and to the first slot's value.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>

#include "base/memory_budget.h"

namespace rxc {

// One slot array grown to `slots` slots (indices 0..slots), keeping its first
// `heldSlots` + 1 elements; the memory is taken from `budget` and the old
// block given back. False when the budget or the system refuses (the array is
// then as it was).
template <class T>
bool resizeSlotArray(MemoryBudget& budget, std::unique_ptr<T[]>& array, int64_t heldSlots,
                     int64_t slots) {
  std::unique_ptr<T[]> larger = budget.acquire<T>(static_cast<uint64_t>(slots) + 1);
  if (!larger) return false;
  if (array) {
    std::copy_n(array.get(), heldSlots + 1, larger.get());
    budget.release((static_cast<uint64_t>(heldSlots) + 1) * sizeof(T));
  }
  array = std::move(larger);
  return true;
}

class OrderedListIndex {
 public:
  // Where a slot was put: the slots just before and just after it in the
  // list; 0 for none.
  struct Neighbours {
    int32_t before = 0;
    int32_t after = 0;
  };

  // Whether the index holds a list; it does from build() to clear().
  bool active() const { return active_; }
  // The slots its arrays hold room for (numbers 1..slotsHeld()).
  int64_t slotsHeld() const { return slots_; }

  // Room for slots 1..slots, keeping the nodes held; the memory comes from
  // `budget`. False when the budget or the system refuses.
  bool reserve(MemoryBudget& budget, int64_t slots);

  // Indexes the list that runs from `head` along `next` to a negative link,
  // with the slots' values in `values`. Its slots must be within slotsHeld().
  void build(const int32_t* next, int32_t head, const double* values);
  // Forgets the list (the arrays stay held) and the step count.
  void clear();

  // `slot`, holding its value in `values`, becomes the first (last) of the
  // list.
  void pushFront(int32_t slot, const double* values);
  void pushBack(int32_t slot, const double* values);

  // `slot`, holding its value in `values`, goes just before the first slot
  // in the list whose value is above `bound` (below `bound`), or last when
  // there is none; returns its neighbours.
  Neighbours insertBeforeFirstAbove(int32_t slot, double bound, const double* values);
  Neighbours insertBeforeFirstBelow(int32_t slot, double bound, const double* values);

  // Drops the first slot of the list.
  void popFront(const double* values);
  // The first slot's value has changed in `values`.
  void frontValueChanged(const double* values);

  // The greatest and the least value in the list (-inf and +inf when empty);
  // only after a reserve() that went through.
  double greatest() const { return nodes_[root_].most; }
  double least() const { return nodes_[root_].least; }

  // Nodes visited by every call since build(): the work the index has done.
  uint64_t steps() const { return steps_; }

 private:
  struct Node {
    int32_t left;
    int32_t right;
    double most;   // the greatest value of the subtree
    double least;  // the least
  };
  struct Split {
    int32_t left = 0;
    int32_t right = 0;
  };
  // Where an insertion descends: the nearest ancestors it passed on the
  // right (its neighbour before) and on the left (its neighbour after).
  struct Descent {
    int32_t lastBefore = 0;
    int32_t lastAfter = 0;
  };

  static bool outranks(int32_t a, int32_t b);
  void pull(int32_t node, const double* values);
  void makeLeaf(int32_t slot, const double* values);
  int32_t merge(int32_t a, int32_t b, const double* values);
  int32_t withoutFirst(int32_t node, const double* values);
  void refreshFirst(int32_t node, const double* values);
  int32_t firstOf(int32_t node);
  int32_t lastOf(int32_t node);
  template <class Rule>
  Split split(int32_t node, Rule rule, const double* values);
  template <class Rule>
  int32_t insertInto(int32_t node, int32_t slot, Rule rule, Descent& descent, Neighbours& placed,
                     const double* values);
  template <class Rule>
  Neighbours insertBeforeFirst(int32_t slot, Rule rule, const double* values);

  // Node 0, the empty subtree, has the extremes -inf and +inf.
  std::unique_ptr<Node[]> nodes_;
  int64_t slots_ = 0;
  int32_t root_ = 0;
  bool active_ = false;
  uint64_t steps_ = 0;
};

}  // namespace rxc
