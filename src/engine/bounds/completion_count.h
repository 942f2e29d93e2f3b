// The exact number of ways to complete a partly fixed table: how many tables
// a subtree of the enumeration holds, so that a subtree judged as a whole can
// be counted without being walked.
//
// Dynamic programming over the open columns, left to right. Which row needs
// which amount does not matter to the count, only the multiset of the row
// needs, so a state is the column reached and the row needs sorted (rows that
// need nothing dropped). In a partly open column the rows above its first
// open row cannot take anything there, so they form a group of their own
// until the column is filled. The last column is forced (one way); the
// second-last is the number of ways to take its need from the rows, each at
// most what it needs (a bounded composition, counted by a polynomial product
// in O(rows x need)). Earlier columns enumerate the ways to fill them and add
// up the counts of the states they lead to, memoised.
//
// One counter serves one enumeration pass (one set of margins): its memo is
// shared by all the calls of the pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/bounds/count_memo.h"
#include "engine/bounds/open_cells.h"

namespace rxc {

struct CompletionCount {
  enum class Status : uint8_t {
    kExact,     // `value` is the number of completions
    kTooLarge,  // the number is 2^128 - 1 or more
    kTooCostly  // the work limit of one call was reached first
  };
  Status status = Status::kExact;
  unsigned __int128 value = 0;

  bool exact() const { return status == Status::kExact; }
};

class CompletionCounter {
 public:
  struct Limits {
    // The memo is emptied when it reaches either limit: at most 16 MiB of
    // slots and 8 MiB of key values with these values.
    std::size_t memoEntries = std::size_t{1} << 18;
    std::size_t memoKeyValues = std::size_t{1} << 22;
    // Ways of filling a column that one call may enumerate, added over every
    // state it computes (a state found in the memo costs nothing), plus the
    // rows x need steps of the bounded compositions. A step costs some 0.1 to
    // 0.3 microseconds, so a call that reaches this default has spent up to a
    // few tenths of a second; a caller that would rather descend into the
    // subtree passes a smaller limit to count().
    uint64_t workPerCall = uint64_t{1} << 20;
  };

  // `colMargin`: the column margins of the problem; a shape's columns after
  // its first open one are open in full and need their margins.
  explicit CompletionCounter(std::span<const int32_t> colMargin);
  CompletionCounter(std::span<const int32_t> colMargin, Limits limits);

  // The number of completions of `open` (see open_cells.h for the shape and
  // its preconditions; rows <= 100, needs <= 20000), within the default work
  // limit or `workLimit`. A call that runs out of work keeps in the memo the
  // states it finished, so counting the subtree's children afterwards costs
  // less.
  CompletionCount count(const OpenCells& open);
  CompletionCount count(const OpenCells& open, uint64_t workLimit);

  const CountMemo& memo() const { return memo_; }

 private:
  using Count = unsigned __int128;
  struct Walk;  // the state of one call: its work so far

  // The completions of columns j .. cols - 1, open in full, for the sorted
  // non-zero row needs `needs`; saturated at kSaturated. False when the work
  // limit was reached.
  bool countColumns(int j, std::span<const uint16_t> needs, Walk& walk, Count& out);
  // The same when column j is open below row `firstRow` only: `closed` are the
  // sorted needs of the rows above it, `open` those of the rows from it on,
  // and `need` what column j still needs.
  bool countPartial(int j, std::span<const uint16_t> closed, std::span<const uint16_t> open,
                    int32_t need, Walk& walk, Count& out);
  // Ways to take `total` from rows that can give at most `caps` each.
  bool boundedCompositions(std::span<const uint16_t> caps, int32_t total, Walk& walk, Count& out);
  // Up to this many rows and this total, bounded compositions are counted in
  // closed form.
  static constexpr std::size_t kClosedFormCaps = 4;
  static constexpr int64_t kClosedFormTotal = 1000000;
  // Every way to take `need` from the rows of `from` (each at most its need),
  // each handed to `visit` as the rows' needs left over, sorted, zeros
  // dropped, after `prefix` (kept as it is). False when the work limit was
  // reached or `visit` returned false.
  template <class Visit>
  bool forEachFill(std::span<const uint16_t> prefix, std::span<const uint16_t> from, int32_t need,
                   Walk& walk, Visit&& visit);

  std::vector<int32_t> colMargin_;
  Limits limits_;
  CountMemo memo_;
  std::vector<Count> polynomial_;  // scratch of the bounded compositions
  std::vector<Count> nextPolynomial_;
};

}  // namespace rxc
