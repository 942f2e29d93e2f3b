// The exact least and greatest sum of ln(x!) over the completions of a node
// of the network walk, and their number, found once per key.
//
// What a subtree's completions are depends only on the node's key: the
// column j, what it still needs, and the needs of the rows above the next
// cell and of those from it on, each as a sorted multiset (rows that need
// nothing dropped). So the values are computed by a recursion over keys that
// fills one cell at a time (any open row will do, the completions being the
// same up to an order of the rows: the largest is taken), memoised per key.
// The last open row of a column takes what the column still needs; the last
// column is forced.
//
// The sums are of the program's ln(k!) table, added in double: each lies
// within (rows x columns) roundings of the exact sum of the same entries.
// Past a cap of memory the recursion gives up (the walk then uses the
// relaxed bounds of open_cells_bounds.h).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/memory_budget.h"
#include "base/wide_real.h"
#include "engine/condition/exact_probabilities.h"
#include "engine/condition/flat_memo.h"

namespace rxc {

struct KeyValues {
  double least = 0.0;
  double greatest = 0.0;
  unsigned __int128 count = 0;  // saturated at kTooMany
  // The sum over the completions of the product of 1/x! (exact_probabilities.h),
  // filled the first time it is asked for.
  WideReal completions{};
  bool hasCompletions = false;
};

class NetworkBounds {
 public:
  static constexpr unsigned __int128 kTooMany = ~static_cast<unsigned __int128>(0);

  NetworkBounds(std::span<const int16_t> colMargin, const double* logFactorial,
                MemoryBudget* budget, uint64_t capBytes, uint64_t workLimit);

  // The values for column j needing `need` more, the rows above the next cell
  // needing `done` and those from it on needing `open` (any order, zeros
  // allowed); valid until the next call. Null when the memo's cap or the work
  // limit was reached first.
  KeyValues* values(int j, int32_t need, std::span<const int32_t> done,
                    std::span<const int32_t> open);
  // How many keys are stored.
  uint64_t keys() const { return memo_.size(); }
  // The completions' sum of `values` from the last call, computed once.
  const WideReal& completions(KeyValues& values, const ExactProbabilities& exact);

 private:
  // The recursion over canonical keys: [j, need, done..., 0xffff, open...],
  // each group sorted, zeros dropped.
  bool valuesOf(const std::vector<uint16_t>& key, KeyValues& out);
  bool computeValues(const std::vector<uint16_t>& key, KeyValues& out);
  // The values once column j is complete and the rows need `rows` (sorted,
  // no zeros) from column j + 1 on.
  bool afterColumn(int j, std::span<const uint16_t> rows, KeyValues& out);

  std::vector<int32_t> colMargin_;
  const double* lf_;
  FlatMemo<KeyValues> memo_;
  std::vector<uint16_t> scratch_;
  uint64_t work_ = 0;
  uint64_t workLimit_;
};

}  // namespace rxc
