// A store of kept tables: `capacity` slots of r x c cells (row-major), numbered
// from 1. The memory is reserved without being written, so a store of millions
// of slots of which a run touches a few costs only what it touches.
#pragma once

#include <cstdint>
#include <memory>

#include "base/memory_budget.h"

namespace rxc {

class TableStore {
 public:
  TableStore() = default;

  // False when the budget or the system refuses the memory.
  bool acquire(MemoryBudget& budget, int64_t capacity, int cellsPerTable) {
    cellsPerTable_ = cellsPerTable;
    capacity_ = capacity;
    cells_ = budget.acquire<int16_t>(static_cast<uint64_t>(capacity) *
                                     static_cast<uint64_t>(cellsPerTable));
    return cells_ != nullptr;
  }

  int64_t capacity() const { return capacity_; }
  int cellsPerTable() const { return cellsPerTable_; }
  int16_t* slot(int64_t k) { return cells_.get() + (k - 1) * cellsPerTable_; }
  const int16_t* slot(int64_t k) const { return cells_.get() + (k - 1) * cellsPerTable_; }

 private:
  std::unique_ptr<int16_t[]> cells_;
  int64_t capacity_ = 0;
  int cellsPerTable_ = 0;
};

}  // namespace rxc
