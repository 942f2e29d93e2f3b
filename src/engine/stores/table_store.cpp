#include "engine/stores/table_store.h"

#include <algorithm>

#include "base/fatal_stop.h"

namespace rxc {

bool TableStore::acquire(MemoryBudget& budget, int64_t capacity, int cellsPerTable) {
  budget_ = &budget;
  capacity_ = capacity;
  cellsPerTable_ = cellsPerTable;
  cells_.reset();
  held_ = 0;
  return resize(std::min(capacity, kFirstSlots));
}

bool TableStore::resize(int64_t slots) {
  if (budget_ == nullptr) return false;
  const auto cells = static_cast<uint64_t>(cellsPerTable_);
  std::unique_ptr<int16_t[]> larger =
      budget_->acquire<int16_t>(static_cast<uint64_t>(slots) * cells);
  if (!larger) return false;
  const uint64_t heldCells = static_cast<uint64_t>(held_) * cells;
  if (heldCells > 0) std::copy_n(cells_.get(), heldCells, larger.get());
  budget_->release(heldCells * sizeof(int16_t));
  cells_ = std::move(larger);
  held_ = slots;
  return true;
}

void TableStore::growToHold(int64_t k) {
  // Doubling keeps the copies to a small multiple of the final size.
  const int64_t slots = std::min(capacity_, std::max(k, 2 * held_));
  if (k > slots || !resize(slots)) stopRun(kMemoryFailureMessage);
}

}  // namespace rxc
