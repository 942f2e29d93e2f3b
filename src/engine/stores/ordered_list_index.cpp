#include "engine/stores/ordered_list_index.h"

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
  template <class Node>
  bool inSubtree(const Node& n) const {
    return n.most > bound;
  }
  bool at(double value) const { return value > bound; }
};

// The same for the low list: the first whose value is below the bound (the
// newcomer's band's high end).
struct FirstBelow {
  double bound;
  template <class Node>
  bool inSubtree(const Node& n) const {
    return n.least < bound;
  }
  bool at(double value) const { return value < bound; }
};

}  // namespace

bool OrderedListIndex::reserve(MemoryBudget& budget, int64_t slots) {
  if (slots <= slots_) return true;
  if (!resizeSlotArray(budget, nodes_, slots_, slots)) return false;  // the memory stop
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  nodes_[0] = {0, 0, -kInfinity, kInfinity};
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
  Node& n = nodes_[node];
  const Node& l = nodes_[n.left];
  const Node& r = nodes_[n.right];
  n.most = std::max(values[node], std::max(l.most, r.most));
  n.least = std::min(values[node], std::min(l.least, r.least));
}

void OrderedListIndex::makeLeaf(int32_t slot, const double* values) {
  nodes_[slot] = {0, 0, values[slot], values[slot]};
}

// The list `a` followed by the list `b`.
int32_t OrderedListIndex::merge(int32_t a, int32_t b, const double* values) {
  if (a == 0) return b;
  if (b == 0) return a;
  ++steps_;
  if (outranks(a, b)) {
    nodes_[a].right = merge(nodes_[a].right, b, values);
    pull(a, values);
    return a;
  }
  nodes_[b].left = merge(a, nodes_[b].left, values);
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
  Node& n = nodes_[node];
  if (n.left == 0) return n.right;
  n.left = withoutFirst(n.left, values);
  pull(node, values);
  return node;
}

void OrderedListIndex::popFront(const double* values) {
  if (root_ != 0) root_ = withoutFirst(root_, values);
}

void OrderedListIndex::refreshFirst(int32_t node, const double* values) {
  ++steps_;
  if (nodes_[node].left != 0) refreshFirst(nodes_[node].left, values);
  pull(node, values);
}

void OrderedListIndex::frontValueChanged(const double* values) {
  if (root_ != 0) refreshFirst(root_, values);
}

int32_t OrderedListIndex::firstOf(int32_t node) {
  while (nodes_[node].left != 0) {
    ++steps_;
    node = nodes_[node].left;
  }
  return node;
}

int32_t OrderedListIndex::lastOf(int32_t node) {
  while (nodes_[node].right != 0) {
    ++steps_;
    node = nodes_[node].right;
  }
  return node;
}

// The subtree cut just before its first node that the rule picks (all of it
// on the left when none does).
template <class Rule>
OrderedListIndex::Split OrderedListIndex::split(int32_t node, Rule rule, const double* values) {
  if (node == 0) return {};
  ++steps_;
  Node& n = nodes_[node];
  Split out;
  if (rule.inSubtree(nodes_[n.left])) {
    const Split below = split(n.left, rule, values);
    n.left = below.right;
    out = {below.left, node};
  } else if (rule.at(values[node])) {
    out = {n.left, node};
    n.left = 0;
  } else {
    const Split below = split(n.right, rule, values);
    n.right = below.left;
    out = {node, below.right};
  }
  pull(node, values);
  return out;
}

// Puts `slot` (a leaf) into the subtree at `node` just before the first node
// the rule picks: down the path to that place while the nodes outrank it,
// where it then takes the rest of the path's subtree, cut in two, as its
// children. The nodes passed on the way down keep their subtrees and gain
// the slot's value, so their extremes need only that.
template <class Rule>
int32_t OrderedListIndex::insertInto(int32_t node, int32_t slot, Rule rule, Descent& descent,
                                     Neighbours& placed, const double* values) {
  if (node == 0 || outranks(slot, node)) {
    const Split parts = split(node, rule, values);
    nodes_[slot].left = parts.left;
    nodes_[slot].right = parts.right;
    pull(slot, values);
    placed.before = parts.left != 0 ? lastOf(parts.left) : descent.lastBefore;
    placed.after = parts.right != 0 ? firstOf(parts.right) : descent.lastAfter;
    return slot;
  }
  ++steps_;
  Node& n = nodes_[node];
  n.most = std::max(n.most, values[slot]);
  n.least = std::min(n.least, values[slot]);
  if (rule.inSubtree(nodes_[n.left]) || rule.at(values[node])) {
    descent.lastAfter = node;
    n.left = insertInto(n.left, slot, rule, descent, placed, values);
  } else {
    descent.lastBefore = node;
    n.right = insertInto(n.right, slot, rule, descent, placed, values);
  }
  return node;
}

template <class Rule>
OrderedListIndex::Neighbours OrderedListIndex::insertBeforeFirst(int32_t slot, Rule rule,
                                                                 const double* values) {
  makeLeaf(slot, values);
  Descent descent;
  Neighbours placed;
  root_ = insertInto(root_, slot, rule, descent, placed, values);
  return placed;
}

OrderedListIndex::Neighbours OrderedListIndex::insertBeforeFirstAbove(int32_t slot, double bound,
                                                                      const double* values) {
  return insertBeforeFirst(slot, FirstAbove{bound}, values);
}

OrderedListIndex::Neighbours OrderedListIndex::insertBeforeFirstBelow(int32_t slot, double bound,
                                                                      const double* values) {
  return insertBeforeFirst(slot, FirstBelow{bound}, values);
}

}  // namespace rxc
