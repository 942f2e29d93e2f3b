#include "engine/ordered_list_index.h"

#include <algorithm>
#include <limits>

namespace rxc {

namespace {

// A node's priority: a bijective mix of its slot number, so that no two
// slots tie and the tree's shape is a fixed function of the list's order.
uint32_t priorityOf(int32_t slot) {
  uint32_t x = static_cast<uint32_t>(slot);
  x ^= x >> 16;
  x *= 0x7feb352du;
  x ^= x >> 15;
  x *= 0x846ca68bu;
  x ^= x >> 16;
  return x;
}

// The slot sought by an insertion into the high list: the first whose value
// is above the bound (the newcomer's band's low end).
struct FirstAbove {
  double bound;
  const double* most;
  bool inSubtree(int32_t node) const { return most[node] > bound; }
  bool at(double value) const { return value > bound; }
};

// The same for the low list: the first whose value is below the bound (the
// newcomer's band's high end).
struct FirstBelow {
  double bound;
  const double* least;
  bool inSubtree(int32_t node) const { return least[node] < bound; }
  bool at(double value) const { return value < bound; }
};

}  // namespace

bool OrderedListIndex::reserve(MemoryBudget& budget, int64_t slots) {
  if (slots <= slots_) return true;
  const int64_t held = slots_;
  const bool done =
      resizeSlotArray(budget, left_, held, slots) && resizeSlotArray(budget, right_, held, slots) &&
      resizeSlotArray(budget, most_, held, slots) && resizeSlotArray(budget, least_, held, slots);
  if (!done) return false;  // the run ends with the memory stop
  most_[0] = -std::numeric_limits<double>::infinity();
  least_[0] = std::numeric_limits<double>::infinity();
  slots_ = slots;
  return true;
}

void OrderedListIndex::build(const int32_t* next, int32_t head, const double* values) {
  clear();
  active_ = true;
  for (int32_t slot = head; slot > 0; slot = next[slot]) pushBack(slot, values);
}

void OrderedListIndex::clear() {
  root_ = 0;
  active_ = false;
  steps_ = 0;
}

bool OrderedListIndex::outranks(int32_t a, int32_t b) { return priorityOf(a) > priorityOf(b); }

void OrderedListIndex::pull(int32_t node, const double* values) {
  const int32_t l = left_[node];
  const int32_t r = right_[node];
  most_[node] = std::max(values[node], std::max(most_[l], most_[r]));
  least_[node] = std::min(values[node], std::min(least_[l], least_[r]));
}

void OrderedListIndex::makeLeaf(int32_t slot, const double* values) {
  left_[slot] = 0;
  right_[slot] = 0;
  most_[slot] = values[slot];
  least_[slot] = values[slot];
}

// The list `a` followed by the list `b`.
int32_t OrderedListIndex::merge(int32_t a, int32_t b, const double* values) {
  if (a == 0) return b;
  if (b == 0) return a;
  ++steps_;
  if (outranks(a, b)) {
    right_[a] = merge(right_[a], b, values);
    pull(a, values);
    return a;
  }
  left_[b] = merge(a, left_[b], values);
  pull(b, values);
  return b;
}

void OrderedListIndex::pushFront(int32_t slot, const double* values) {
  makeLeaf(slot, values);
  root_ = merge(slot, root_, values);
}

void OrderedListIndex::pushBack(int32_t slot, const double* values) {
  makeLeaf(slot, values);
  root_ = merge(root_, slot, values);
}

// The subtree without its first node, whose right subtree takes its place.
int32_t OrderedListIndex::withoutFirst(int32_t node, const double* values) {
  ++steps_;
  if (left_[node] == 0) return right_[node];
  left_[node] = withoutFirst(left_[node], values);
  pull(node, values);
  return node;
}

void OrderedListIndex::popFront(const double* values) {
  if (root_ != 0) root_ = withoutFirst(root_, values);
}

void OrderedListIndex::refreshFirst(int32_t node, const double* values) {
  ++steps_;
  if (left_[node] != 0) refreshFirst(left_[node], values);
  pull(node, values);
}

void OrderedListIndex::frontValueChanged(const double* values) {
  if (root_ != 0) refreshFirst(root_, values);
}

int32_t OrderedListIndex::firstOf(int32_t node) {
  while (left_[node] != 0) {
    ++steps_;
    node = left_[node];
  }
  return node;
}

int32_t OrderedListIndex::lastOf(int32_t node) {
  while (right_[node] != 0) {
    ++steps_;
    node = right_[node];
  }
  return node;
}

// The subtree cut just before its first node that the rule picks (all of it
// on the left when none does).
template <class Rule>
OrderedListIndex::Split OrderedListIndex::split(int32_t node, Rule rule, const double* values) {
  if (node == 0) return {};
  ++steps_;
  Split out;
  if (rule.inSubtree(left_[node])) {
    const Split below = split(left_[node], rule, values);
    left_[node] = below.right;
    out = {below.left, node};
  } else if (rule.at(values[node])) {
    out = {left_[node], node};
    left_[node] = 0;
  } else {
    const Split below = split(right_[node], rule, values);
    right_[node] = below.left;
    out = {node, below.right};
  }
  pull(node, values);
  return out;
}

// Puts `slot` into the subtree at `node` just before the first node the rule
// picks: down the path to that place while the nodes outrank it, where it
// then takes the rest of the path's subtree, cut in two, as its children.
template <class Rule>
int32_t OrderedListIndex::insertInto(int32_t node, int32_t slot, Rule rule, Descent& descent,
                                     Neighbours& placed, const double* values) {
  if (node == 0 || outranks(slot, node)) {
    const Split parts = split(node, rule, values);
    left_[slot] = parts.left;
    right_[slot] = parts.right;
    pull(slot, values);
    placed.before = parts.left != 0 ? lastOf(parts.left) : descent.lastBefore;
    placed.after = parts.right != 0 ? firstOf(parts.right) : descent.lastAfter;
    return slot;
  }
  ++steps_;
  if (rule.inSubtree(left_[node]) || rule.at(values[node])) {
    descent.lastAfter = node;
    left_[node] = insertInto(left_[node], slot, rule, descent, placed, values);
  } else {
    descent.lastBefore = node;
    right_[node] = insertInto(right_[node], slot, rule, descent, placed, values);
  }
  pull(node, values);
  return node;
}

template <class Rule>
OrderedListIndex::Neighbours OrderedListIndex::insertBeforeFirst(int32_t slot, Rule rule,
                                                                 const double* values) {
  Descent descent;
  Neighbours placed;
  root_ = insertInto(root_, slot, rule, descent, placed, values);
  return placed;
}

OrderedListIndex::Neighbours OrderedListIndex::insertBeforeFirstAbove(int32_t slot, double bound,
                                                                      const double* values) {
  return insertBeforeFirst(slot, FirstAbove{bound, most_.get()}, values);
}

OrderedListIndex::Neighbours OrderedListIndex::insertBeforeFirstBelow(int32_t slot, double bound,
                                                                      const double* values) {
  return insertBeforeFirst(slot, FirstBelow{bound, least_.get()}, values);
}

}  // namespace rxc
