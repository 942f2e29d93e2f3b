// Read-only views of the kept tables, for the report: each yields the tables
// it covers, one ListedTable at a time, in the order the report lists them.
//
//   KeptGroup     option A: the first tables of a modal or minimum group, in
//                 generation order; they share one log-probability.
//   KeptListRange options B and C: the tables of one kept list, from the most
//                 to the least probable.
//   KeptListing   options B and C: the high list's tables, then the low
//                 list's (KeptTables::listing()).
//
// A view holds pointers into the stores; it is valid while they are and as
// long as no table is kept, and the lists' views only after the end-of-pass
// step, which sets the probabilities and the high list's order.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>

#include "base/fast_exp.h"
#include "engine/stores/table_store.h"

namespace rxc {

// A kept table as the report lists it.
struct ListedTable {
  const int16_t* cells;  // r x c, row-major
  double probability;
  double logProb;
};

// The iterator of every view: an input iterator driven by a cursor that reads
// the table it is at (read()), moves to the next (advance()) and compares
// with another cursor of the same view.
template <class Cursor>
class ListedTableIterator {
 public:
  using iterator_concept = std::input_iterator_tag;
  using value_type = ListedTable;
  using difference_type = std::ptrdiff_t;

  ListedTableIterator() = default;
  explicit ListedTableIterator(const Cursor& at) : at_(at) {}
  ListedTable operator*() const { return at_.read(); }
  ListedTableIterator& operator++() {
    at_.advance();
    return *this;
  }
  void operator++(int) { at_.advance(); }
  bool operator==(const ListedTableIterator& other) const { return at_ == other.at_; }

 private:
  Cursor at_{};
};

// Option A: slots 1..size() of a table store, in generation order, each with
// the group's log-probability and its exp.
class KeptGroup {
  struct Cursor {
    const KeptGroup* group = nullptr;
    int32_t slot = 0;
    ListedTable read() const {
      return {group->store_->slot(slot), group->probability_, group->logProb_};
    }
    void advance() { ++slot; }
    bool operator==(const Cursor& other) const { return slot == other.slot; }
  };

 public:
  using Iterator = ListedTableIterator<Cursor>;

  KeptGroup(const TableStore& store, int32_t size, double logProb)
      : store_(&store), size_(size), logProb_(logProb), probability_(fastExp(logProb)) {}

  int32_t size() const { return size_; }
  double logProb() const { return logProb_; }
  double probability() const { return probability_; }
  // The first `count` tables of the group (count <= size()).
  KeptGroup first(int32_t count) const {
    KeptGroup head = *this;
    head.size_ = count;
    return head;
  }

  Iterator begin() const { return Iterator({this, 1}); }
  Iterator end() const { return Iterator({this, size_ + 1}); }

 private:
  const TableStore* store_;
  int32_t size_;
  double logProb_;
  double probability_;
};

// Options B and C: one kept list's tables, most probable first, each with the
// probability and log-probability of its slot. A list is read in one of two
// ways: down an order array (order[k] the slot of the k-th least probable
// table, k from the count down to 1), when its links run from its least
// probable table up; or along its links from its head, when they run down.
class KeptListRange {
 public:
  // Where the slots come from, and the per-slot arrays (indexed by slot).
  struct Source {
    const TableStore* store = nullptr;
    const double* probability = nullptr;
    const double* logProb = nullptr;
    const int32_t* order = nullptr;  // read down, or null: follow `next`
    const int32_t* next = nullptr;   // negative at the tail
  };

 private:
  // At a position of the order array, or at a slot; 0 is the end.
  struct Cursor {
    const Source* source = nullptr;
    int32_t at = 0;
    ListedTable read() const {
      const int32_t slot = source->order != nullptr ? source->order[at] : at;
      return {source->store->slot(slot), source->probability[slot], source->logProb[slot]};
    }
    void advance() {
      if (source->order != nullptr) {
        --at;
      } else {
        at = std::max(source->next[at], 0);
      }
    }
    bool operator==(const Cursor& other) const { return at == other.at; }
  };

 public:
  using Iterator = ListedTableIterator<Cursor>;

  KeptListRange() = default;
  // `first` is where reading starts: the count for an order array, the head
  // for links; 0 for an empty list.
  KeptListRange(const Source& source, int32_t first) : source_(source), first_(first) {}

  bool empty() const { return first_ == 0; }
  Iterator begin() const { return Iterator({&source_, first_}); }
  Iterator end() const { return Iterator({&source_, 0}); }

 private:
  Source source_;
  int32_t first_ = 0;
};

// Options B and C: every kept table in the report's order, the high list's
// (the most probable tables) then the low list's; each group also on its own,
// for the separator the report writes between them.
class KeptListing {
  struct Cursor {
    const KeptListing* listing = nullptr;
    bool inLow = true;
    KeptListRange::Iterator at;
    ListedTable read() const { return *at; }
    void advance() {
      ++at;
      if (!inLow && at == listing->high_.end()) {
        inLow = true;
        at = listing->low_.begin();
      }
    }
    bool operator==(const Cursor& other) const { return inLow == other.inLow && at == other.at; }
  };

 public:
  using Iterator = ListedTableIterator<Cursor>;

  KeptListing(const KeptListRange& high, const KeptListRange& low) : high_(high), low_(low) {}

  // By value, so that a range taken from a temporary listing lives through
  // the loop that reads it.
  KeptListRange high() const { return high_; }
  KeptListRange low() const { return low_; }

  Iterator begin() const {
    if (high_.empty()) return Iterator({this, true, low_.begin()});
    return Iterator({this, false, high_.begin()});
  }
  Iterator end() const { return Iterator({this, true, low_.end()}); }

 private:
  KeptListRange high_;
  KeptListRange low_;
};

static_assert(std::input_iterator<KeptGroup::Iterator>);
static_assert(std::input_iterator<KeptListRange::Iterator>);
static_assert(std::input_iterator<KeptListing::Iterator>);

}  // namespace rxc
