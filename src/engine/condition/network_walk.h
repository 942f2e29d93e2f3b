// The walk of options B and C that decides whole subtrees: the network walk.
//
// It runs over the same tables in the same order as the enumeration (the
// interior cells column by column, the last row and column derived), but at
// every node it first bounds the log-probabilities of the subtree's tables
// (open_cells_bounds.h):
//   - every table rejected: the subtree is counted, not walked;
//   - every table accepted, and none able to raise the largest accepted
//     log-probability or to enter a kept list: the subtree is counted, and
//     its probabilities summed in closed form (exact_probabilities.h);
//   - otherwise the node is walked, child by child, and what it came to is
//     stored under its key (subtree_memo.h): a later node with the same
//     position and the same needs (rows sorted) holds the same tables up to
//     an order of the rows, so it reuses the result when no table of it can
//     act on the ordered steps and no decision can change. At the same past
//     (the fixed cells' sums, to the bit) that holds when every table lay
//     farther from the bounds than another order of additions can move it
//     (`robust`); at another past, when the tables' room to the bounds
//     exceeds the difference of the pasts and its margins.
// A table that is visited gets its log-probability with the bits the
// enumeration gives it, so which tables are accepted, the ordered steps and
// the kept lists are the enumeration's. docs/rounding.md, section 7, derives
// the margins.
//
// The sum of the accepted probabilities is kept as double-doubles with a
// wide exponent (base/wide_real.h), exact to far more digits than are
// printed.
#pragma once

#include <cstdint>

#include "base/memory_budget.h"
#include "base/wide_real.h"
#include "engine/condition/condition_visitor.h"
#include "engine/problem/pass_options.h"
#include "engine/problem/problem.h"
#include "engine/problem/progress.h"

namespace rxc {

struct NetworkOutcome {
  uint64_t tableCount = 0;
  int64_t count = 0;  // accepted tables
  WideReal sum{};     // their probabilities
  // How the walk went, for tests and benchmarks.
  uint64_t nodes = 0;          // nodes walked child by child
  uint64_t visitedTables = 0;  // tables visited one by one
  uint64_t merged = 0;         // subtrees taken from the memo at the same past
  uint64_t shifted = 0;        // and at another past
};

// Whether the network walk takes problems of this shape: its recursion, one
// level per interior cell, must fit in half of `stackBytes`.
bool networkWalkFits(const Problem& problem, uint64_t stackBytes);

// Runs the pass; the ordered steps (raises of the largest log-probability,
// the kept lists) get every accepted table that may act on them, in
// generation order. The memos' memory comes from `budget` (may be null), up to
// `memoCapBytes` and a quarter of what the budget has left.
//
// The walk counts the rejected subtrees it meets, one by one, for the
// progress bar, until one of those counts takes some work: then every table
// of the pass is counted, within `totalCountWork`, which spares it the
// later ones (if that count does not end, it goes on one by one). A test of
// Fisher's meets small rejected subtrees only and seldom needs the total:
// counting every table of 4 x 4 with margins near 25 before the walk took a
// tenth of the time.
NetworkOutcome runNetworkWalk(const Problem& problem, AcceptedRange range, AcceptedTableSink& sink,
                              ProgressBar& progress, MemoryBudget* budget, uint64_t memoCapBytes,
                              uint64_t totalCountWork = PassOptions{}.networkTotalCountWork);

}  // namespace rxc
