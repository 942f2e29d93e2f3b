// A store of kept tables: up to `capacity` slots of r x c cells (row-major),
// numbered from 1. It holds a few slots at first and grows, doubling but never
// past its capacity, only as tables are kept; every growth is taken from the
// run's memory budget. A store of 500000 slots of 100 x 100 tables thus costs
// what the run keeps, and stops the run with the memory-failure message when
// that is more than the machine can give.
#pragma once

#include <cstdint>
#include <memory>

#include "base/memory_budget.h"

namespace rxc {

class TableStore {
 public:
  // Slots held before any growth (the capacity, when that is smaller).
  static constexpr int64_t kFirstSlots = 16;

  TableStore() = default;

  // Sets the capacity and takes the first slots from `budget`, which the
  // store keeps for its growth. False when the budget or the system refuses.
  bool acquire(MemoryBudget& budget, int64_t capacity, int cellsPerTable);

  int64_t capacity() const { return capacity_; }
  int64_t slotsHeld() const { return held_; }
  int cellsPerTable() const { return cellsPerTable_; }
  // Slot k, 1 <= k <= slotsHeld().
  int16_t* slot(int64_t k) { return cells_.get() + (k - 1) * cellsPerTable_; }
  const int16_t* slot(int64_t k) const { return cells_.get() + (k - 1) * cellsPerTable_; }

  // Slot k for a table about to be kept, 1 <= k <= capacity(): the store
  // grows first when k is past the slots it holds. A growth that the budget
  // or the system refuses ends the run with the memory-failure stop.
  int16_t* slotToFill(int64_t k) {
    if (k > held_) [[unlikely]]
      growToHold(k);
    return slot(k);
  }

 private:
  [[gnu::cold, gnu::noinline]] void growToHold(int64_t k);
  bool resize(int64_t slots);  // false when refused; the content is kept

  MemoryBudget* budget_ = nullptr;
  std::unique_ptr<int16_t[]> cells_;
  int64_t capacity_ = 0;
  int64_t held_ = 0;
  int cellsPerTable_ = 0;
};

}  // namespace rxc
