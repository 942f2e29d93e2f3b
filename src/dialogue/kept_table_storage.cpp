#include "dialogue/kept_table_storage.h"

#include <memory>

#include "base/fatal_stop.h"

namespace rxc {

namespace {

// Slot arrays are indexed 1..capacity; element 0 is reserved and unused.
template <class T>
bool acquireSlotArray(MemoryBudget& memory, std::unique_ptr<T[]>& array, int64_t capacity) {
  array = memory.acquire<T>(static_cast<uint64_t>(capacity) + 1);
  return array != nullptr;
}

// The second group: the slot lists of the most and least probable tables.
// Acquired in this order, stopping at the first refusal.
bool acquireSelectionLists(MemoryBudget& memory, SelectionLists& lists, int64_t highCapacity,
                           int64_t lowCapacity) {
  return acquireSlotArray(memory, lists.highNext, highCapacity) &&
         acquireSlotArray(memory, lists.lowNext, lowCapacity) &&
         acquireSlotArray(memory, lists.highProb, highCapacity) &&
         acquireSlotArray(memory, lists.lowProb, lowCapacity) &&
         acquireSlotArray(memory, lists.highOrder, highCapacity) &&
         acquireSlotArray(memory, lists.highLogProb, highCapacity) &&
         acquireSlotArray(memory, lists.lowLogProb, lowCapacity);
}

}  // namespace

int64_t extremeCapacityFor(float approxCount) {
  // The product is a 4-byte real, as the estimate is.
  const float tripled = 3.0f * approxCount;
  if (!(tripled < static_cast<float>(kExtremeCapacityLimit))) return kExtremeCapacityLimit;
  if (!(tripled >= 1.0f)) return 1;
  return static_cast<int64_t>(tripled);  // truncation toward zero
}

void acquireKeptTableStores(Session& session) {
  RunState& state = session.state;
  // 64-bit: T1 = 2147483647 gives 2147483648 slots, not a negative count.
  state.highCapacity = static_cast<int64_t>(state.t1) + 1;
  state.lowCapacity = static_cast<int64_t>(state.t2) + 1;
  if (!acquireSelectionLists(session.memory, state.selection, state.highCapacity,
                             state.lowCapacity)) {
    stopRun(kMemoryFailureMessage);
  }

  state.extremeCapacity = extremeCapacityFor(state.approxCount);
  switch (state.extremeOption) {
    case 1:
      state.highCapacity = state.extremeCapacity;
      state.lowCapacity = 1;
      break;
    case 2:
      state.highCapacity = 1;
      state.lowCapacity = state.extremeCapacity;
      break;
    case 3:
      state.highCapacity = state.extremeCapacity;
      state.lowCapacity = state.extremeCapacity;
      break;
    default:  // options B and C keep T1 + 1 and T2 + 1
      break;
  }
  const int cellsPerTable = state.r * state.c;
  if (!state.highTables.acquire(session.memory, state.highCapacity, cellsPerTable) ||
      !state.lowTables.acquire(session.memory, state.lowCapacity, cellsPerTable)) {
    stopRun(kMemoryFailureMessage);
  }
}

}  // namespace rxc
