// A check of the bounded walk for the sanitizer build (RXC_DEBUG_CHECKS).
// Every set of tables the kernel counts without a visit (a subtree, blocks of
// the third-last cell's loop, a block, runs, the ends of a run, single tables)
// is a claim: each of its tables is a no-op for the visitor, and there are as
// many as were counted. A sample of the sets is walked table by table, from
// the cells before the set and the margins alone, in generation order, and
// each table's log-probability is formed in table order as the walk would
// have formed it: it must lie strictly inside one of the no-op ranges the
// skip relied on, and the tables must number what was counted. A failure
// aborts with a message, as the other debug checks do.
//
// The sample is deterministic: one set in kEvery, in the order they come,
// of at most kLargestSet tables, up to kMostTables tables a pass.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/bounds/enumeration_screen.h"

namespace rxc::enumeration_detail {

class SkipAudit {
 public:
  static constexpr uint64_t kEvery = 64;
  static constexpr uint64_t kLargestSet = 512;
  static constexpr uint64_t kMostTables = uint64_t{1} << 18;

  // The problem: r x c, its margins, ln(k!) and LogMarginConst.
  void start(int rows, int cols, const int32_t* rowMargin, const int32_t* colMargin,
             const double* logFactorial, double logMarginConst);

  // Whether the next set skipped, of `tables` tables, is one to walk.
  bool due(uint64_t tables);

  // Walks the tables whose interior positions (in generation order) before
  // `depth` hold `held`, and `x1` at position m - 2 (the block's first cell,
  // which the kernel does not hold), with position `depth` from `from` to
  // `to`, and checks them against `ranges` and `counted`.
  void check(const int32_t* held, int64_t x1, int depth, int64_t from, int64_t to, uint64_t counted,
             const NoOpRanges& ranges);

 private:
  // Sets position q's range from the cells before it; false when it is
  // empty.
  bool enter(int q, int64_t from, int64_t to);
  // The log-probability of the table the cells hold, in table order.
  double logProbability() const;

  int r_ = 0;
  int c_ = 0;
  const double* lf_ = nullptr;
  double logMarginConst_ = 0.0;
  std::vector<int32_t> rowMargin_, colMargin_, colSuffix_;
  // Per interior position: its value, what its column and row still need,
  // the rest of the sub-table from it on, and its range.
  std::vector<int32_t> cell_, colRest_, rowRest_, rest_, low_, high_;
  uint64_t sets_ = 0;
  uint64_t tablesWalked_ = 0;
};

// Where the debug checks are not compiled in: nothing.
struct NoSkipAudit {
  void start(int, int, const int32_t*, const int32_t*, const double*, double) {}
  bool due(uint64_t) { return false; }
  void check(const int32_t*, int64_t, int, int64_t, int64_t, uint64_t, const NoOpRanges&) {}
};

}  // namespace rxc::enumeration_detail
