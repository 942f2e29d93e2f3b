// What the network walk learns about its nodes, kept for reuse, by key: the
// position, what the column still needs and the rows' needs sorted, which
// fix a node's completions up to an order of the rows.
//
// Per key: how many completions there are, the sum of their products of
// 1/x! and the bounds of their open cells' sum of ln x! (each the same for
// every node of the key, the bounds up to the order of their terms); the
// subtrees walked under
// it, in the order of the fixed cells' sum of ln x! when each was walked (its
// past), so that a later node with the same key finds the stored subtrees
// whose past is nearest its own; and links to its children (their bounds and
// facts), so that a node walked again judges its children without bounding
// or hashing them.
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

#include "base/block_arena.h"
#include "base/memory_budget.h"
#include "base/wide_real.h"
#include "engine/condition/flat_memo.h"

namespace rxc {

// What a walked subtree came to.
struct StoredSubtree {
  uint64_t tables = 0;
  int64_t accepted = 0;
  WideReal relativeSum{};    // relative to the cells fixed above it
  double acceptedLow = 0.0;  // the range of its accepted log-probabilities
  double acceptedHigh = 0.0;
  // How far every one of its tables' log-probabilities may rise, and fall,
  // before any decision changes.
  double roomUp = 0.0;
  double roomDown = 0.0;
  // Whether every table was decided farther than the walk's margin for
  // another order of additions from the bounds.
  bool robust = false;
};

// What a walked node keeps of one of its children: the bounds of the
// child's open cells' sum of ln x!, and where the child's key's facts are
// (kNoFacts until found). Every node of a key whose next row needs the same
// has the same children up to an order of the rows.
struct ChildLink {
  double least = 0.0;
  double greatest = 0.0;
  uint32_t facts = UINT32_MAX;
};

// The children's links of the nodes of one key whose next row needs `row`:
// `count` links from `first`; `next` is the key's next such set.
struct LinkSet {
  int32_t row = 0;
  uint32_t first = 0;
  uint32_t next = UINT32_MAX;
};

// What is known of every node of a key.
struct KeyFacts {
  static constexpr uint32_t kNoLinks = UINT32_MAX;
  // The pasts of the subtrees stored for the key, in ascending order, each
  // with the index of its subtree in the memo's pool: the search and the
  // insertion move the pasts and the indices (12 bytes an entry), never the
  // subtrees. `stored` of each, in one block of the memo's arena with room
  // for `room` (`order` right after `pasts`).
  double* pasts = nullptr;
  uint32_t* order = nullptr;
  uint32_t stored = 0;
  uint32_t room = 0;
  uint32_t linkSets = kNoLinks;  // its children's links, one set per next row's need
  bool countKnown = false;       // `count` is filled
  bool sumKnown = false;         // `completions` is filled
  bool boundsKnown = false;      // `least` and `greatest` are filled
  uint64_t count = 0;
  WideReal completions{};
  double least = 0.0;  // bounds of the open cells' sum of ln x!
  double greatest = 0.0;

  std::span<const double> storedPasts() const { return {pasts, stored}; }
};

class SubtreeMemo {
 public:
  static constexpr uint32_t kNoFacts = UINT32_MAX;

  // A key holds at most this many subtrees; later ones are not stored.
  static constexpr std::size_t kMostPerKey = std::size_t{1} << 24;

  SubtreeMemo(MemoryBudget* budget, uint64_t capBytes)
      : budget_(budget),
        capBytes_(capBytes / 2),
        keys_(arena_, budget, capBytes / 2),
        links_(ArenaAllocator<ChildLink>(arena_)),
        linkSets_(ArenaAllocator<LinkSet>(arena_)),
        pool_(ArenaAllocator<StoredSubtree*>(arena_)) {}
  ~SubtreeMemo() {
    if (budget_ != nullptr) budget_->release(charged_);
  }
  SubtreeMemo(const SubtreeMemo&) = delete;
  SubtreeMemo& operator=(const SubtreeMemo&) = delete;

  // The facts of `key`, added (empty) if new, by an index that stays the
  // key's; kNoFacts when the memo is full.
  uint32_t factsIndex(std::span<const uint16_t> key) {
    const uint32_t found = keys_.indexOf(key);
    if (found != kNoFacts || !keys_.insert(key, KeyFacts{})) return found;
    return static_cast<uint32_t>(keys_.size() - 1);
  }
  // Valid until the next call that adds a key.
  KeyFacts& factsAt(uint32_t index) { return keys_.at(index); }

  // The children's links of the key's nodes whose next row needs `row`, by
  // the index of the first; kNoLinks if none are kept.
  uint32_t linksFor(const KeyFacts& facts, int32_t row) const {
    for (uint32_t set = facts.linkSets; set != KeyFacts::kNoLinks; set = linkSets_[set].next) {
      if (linkSets_[set].row == row) return linkSets_[set].first;
    }
    return KeyFacts::kNoLinks;
  }

  // Room for `count` children's links of the key's nodes whose next row
  // needs `row` (none kept yet), by the index of the first; kNoLinks when the
  // memo is full.
  uint32_t addLinks(KeyFacts& facts, int32_t row, std::size_t count) {
    if (full_ || links_.size() + count >= KeyFacts::kNoLinks ||
        linkSets_.size() + 1 >= KeyFacts::kNoLinks) {
      return KeyFacts::kNoLinks;
    }
    while (links_.size() + count > links_.capacity() || linkSets_.size() == linkSets_.capacity()) {
      const bool grown = links_.size() + count > links_.capacity() ? grow(links_) : grow(linkSets_);
      if (!grown) {
        full_ = true;
        return KeyFacts::kNoLinks;
      }
    }
    const auto first = static_cast<uint32_t>(links_.size());
    links_.resize(links_.size() + count);
    linkSets_.push_back({row, first, facts.linkSets});
    facts.linkSets = static_cast<uint32_t>(linkSets_.size() - 1);
    return first;
  }
  ChildLink& link(uint32_t index) { return links_[index]; }

  // The subtree of a key's k-th past.
  const StoredSubtree& subtreeAt(const KeyFacts& facts, std::size_t k) const {
    const uint32_t index = facts.order[k];
    return pool_[index >> kPoolShift][index & (kPoolChunk - 1)];
  }

  // Stores `subtree`, walked at `past`, for a key, unless the memo or the
  // key's list is full.
  void insert(KeyFacts& facts, double past, const StoredSubtree& subtree) {
    if (full_ || facts.stored >= kMostPerKey) return;
    if ((facts.stored == facts.room && !grow(facts)) || !makePoolRoom()) {
      full_ = true;
      return;
    }
    const auto index = static_cast<uint32_t>(pooled_++);
    pool_[index >> kPoolShift][index & (kPoolChunk - 1)] = subtree;
    const std::span<double> pasts(facts.pasts, facts.stored + 1);
    const std::span<uint32_t> order(facts.order, facts.stored + 1);
    const auto at = static_cast<std::size_t>(
        std::upper_bound(pasts.begin(), pasts.end() - 1, past) - pasts.begin());
    std::copy_backward(pasts.begin() + at, pasts.end() - 1, pasts.end());
    std::copy_backward(order.begin() + at, order.end() - 1, order.end());
    pasts[at] = past;
    order[at] = index;
    ++facts.stored;
  }

  bool full() const { return full_ || keys_.full(); }

 private:
  // What a block of `from` bytes growing to `to` adds, in the arena's block
  // sizes.
  static uint64_t blockGrowth(std::size_t from, std::size_t to) {
    return BlockArena::blockBytes(to) - (from == 0 ? 0 : BlockArena::blockBytes(from));
  }

  // Charges `bytes` more to the cap and the budget; false when either
  // refuses.
  bool charge(uint64_t bytes) {
    if (charged_ + bytes > capBytes_ || (budget_ != nullptr && !budget_->charge(bytes))) {
      return false;
    }
    charged_ += bytes;
    return true;
  }

  // Doubles the capacity of `vector`, charged to the budget; false when the
  // cap, the budget or the system refuses.
  template <class T>
  bool grow(std::vector<T, ArenaAllocator<T>>& vector) {
    const std::size_t capacity = vector.capacity();
    const std::size_t grown = std::max<std::size_t>(4, 2 * capacity);
    if (!charge(blockGrowth(capacity * sizeof(T), grown * sizeof(T)))) return false;
    // Memory the system refuses in spite of the budget only ends the memo.
    try {
      vector.reserve(grown);
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }

  // Doubles the room of a key's list, charged to the budget; false when the
  // cap, the budget or the system refuses.
  bool grow(KeyFacts& facts) {
    const std::size_t room = std::max<std::size_t>(2, 2 * std::size_t{facts.room});
    constexpr std::size_t kEntry = sizeof(double) + sizeof(uint32_t);
    if (!charge(blockGrowth(facts.room * kEntry, room * kEntry))) return false;
    try {
      auto* pasts = static_cast<double*>(arena_.allocate(room * kEntry));
      auto* order = reinterpret_cast<uint32_t*>(pasts + room);
      std::copy(facts.pasts, facts.pasts + facts.stored, pasts);
      std::copy(facts.order, facts.order + facts.stored, order);
      arena_.deallocate(facts.pasts, facts.room * kEntry);
      facts.pasts = pasts;
      facts.order = order;
      facts.room = static_cast<uint32_t>(room);
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }

  // Room in the pool for one more subtree: a new chunk when the last is
  // full, charged to the budget; false when the cap, the budget or the
  // system refuses, or the indices would overflow.
  bool makePoolRoom() {
    if (pooled_ < pool_.size() * kPoolChunk) return true;
    if (pooled_ >= (std::size_t{1} << 32) - kPoolChunk) return false;
    constexpr std::size_t kChunkBytes = kPoolChunk * sizeof(StoredSubtree);
    if (pool_.size() == pool_.capacity() && !grow(pool_)) return false;
    if (!charge(BlockArena::blockBytes(kChunkBytes))) return false;
    try {
      pool_.push_back(static_cast<StoredSubtree*>(arena_.allocate(kChunkBytes)));
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }

  MemoryBudget* budget_;
  uint64_t capBytes_;
  uint64_t charged_ = 0;
  BlockArena arena_;  // declared first: the containers below give back to it
  FlatMemo<KeyFacts> keys_;
  std::vector<ChildLink, ArenaAllocator<ChildLink>> links_;
  std::vector<LinkSet, ArenaAllocator<LinkSet>> linkSets_;
  // Every stored subtree, in chunks that never move, by the index a key's
  // list keeps.
  static constexpr int kPoolShift = 9;
  static constexpr std::size_t kPoolChunk = std::size_t{1} << kPoolShift;
  std::vector<StoredSubtree*, ArenaAllocator<StoredSubtree*>> pool_;
  std::size_t pooled_ = 0;
  bool full_ = false;
};

}  // namespace rxc
