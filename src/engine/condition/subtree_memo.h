// The subtrees the network walk has walked, kept for reuse.
//
// Each is stored under its key (position, what the column still needs, the
// rows' needs sorted) and, within the key, in the order of the fixed cells'
// sum of ln x! when it was walked (its past), so that a later node with the
// same key finds the stored subtrees whose past is nearest its own.
//
// The memory comes from the run's budget, up to a cap: past it the memo stops
// taking subtrees (what it holds stays), so a full memo slows the walk down
// and never stops the run.
#pragma once

#include <algorithm>
#include <cstdint>
#include <new>
#include <span>
#include <vector>

#include "base/memory_budget.h"
#include "base/wide_real.h"
#include "engine/condition/flat_memo.h"

namespace rxc {

// What a walked subtree came to.
struct StoredSubtree {
  uint64_t tables = 0;
  int64_t accepted = 0;
  WideReal relativeSum{};  // relative to the cells fixed above it
  double acceptedLow = 0.0;  // the range of its accepted log-probabilities
  double acceptedHigh = 0.0;
  // The fixed cells' sums when it was walked: the interior cells' running
  // sum and the last row's cells, each with the walk's bits, and their total.
  double interiorSum = 0.0;
  double derivedSum = 0.0;
  double past = 0.0;
  // How far every one of its tables' log-probabilities may rise, and fall,
  // before any decision changes.
  double roomUp = 0.0;
  double roomDown = 0.0;
  // Whether every table was decided farther than the walk's margin for
  // another order of additions from the bounds.
  bool robust = false;
};

class SubtreeMemo {
 public:
  // A key holds at most this many subtrees; later ones are not stored.
  static constexpr std::size_t kMostPerKey = std::size_t{1} << 24;

  SubtreeMemo(MemoryBudget* budget, uint64_t capBytes)
      : budget_(budget), capBytes_(capBytes / 2), keys_(budget, capBytes / 2) {}
  ~SubtreeMemo() {
    if (budget_ != nullptr) budget_->release(charged_);
  }
  SubtreeMemo(const SubtreeMemo&) = delete;
  SubtreeMemo& operator=(const SubtreeMemo&) = delete;

  // The subtrees stored under `key`, in the order of their past.
  std::span<const StoredSubtree> find(std::span<const uint16_t> key) const {
    const uint32_t* list = keys_.find(key);
    if (list == nullptr) return {};
    return lists_[*list];
  }

  // Stores `subtree` under `key`, unless the memo or the key's list is full.
  void insert(std::span<const uint16_t> key, const StoredSubtree& subtree) {
    if (full_) return;
    const uint32_t* found = keys_.find(key);
    if (found == nullptr) {
      if ((lists_.size() == lists_.capacity() && !grow(lists_)) ||
          !keys_.insert(key, static_cast<uint32_t>(lists_.size()))) {
        full_ = true;
        return;
      }
      lists_.emplace_back();
      found = keys_.find(key);
    }
    std::vector<StoredSubtree>& list = lists_[*found];
    if (list.size() >= kMostPerKey) return;
    if (list.size() == list.capacity() && !grow(list)) {
      full_ = true;
      return;
    }
    const auto at = std::upper_bound(
        list.begin(), list.end(), subtree.past,
        [](double past, const StoredSubtree& stored) { return past < stored.past; });
    list.insert(at, subtree);
  }

  bool full() const { return full_ || keys_.full(); }

 private:
  // Doubles the capacity of `vector`, charged to the budget; false when the
  // cap, the budget or the system refuses.
  template <class T>
  bool grow(std::vector<T>& vector) {
    const std::size_t capacity = vector.capacity();
    const std::size_t grown = std::max<std::size_t>(4, 2 * capacity);
    const uint64_t bytes = (grown - capacity) * sizeof(T);
    if (charged_ + bytes > capBytes_ || (budget_ != nullptr && !budget_->charge(bytes))) {
      return false;
    }
    charged_ += bytes;
    // Memory the system refuses in spite of the budget only ends the memo.
    try {
      vector.reserve(grown);
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }

  MemoryBudget* budget_;
  uint64_t capBytes_;
  uint64_t charged_ = 0;
  FlatMemo<uint32_t> keys_;  // key -> its list
  std::vector<std::vector<StoredSubtree>> lists_;
  bool full_ = false;
};

}  // namespace rxc
