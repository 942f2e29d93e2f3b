#include "engine/kept_tables.h"

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

KeptTables acquireKeptTables(MemoryBudget& memory, const Problem& problem, const Request& request,
                             float approxCount) {
  KeptTables kept;
  // 64-bit: T1 = 2147483647 gives 2147483648 slots, not a negative count.
  int64_t highCapacity = 1;
  int64_t lowCapacity = 1;
  if (const auto* condition = std::get_if<ConditionRequest>(&request)) {
    highCapacity = static_cast<int64_t>(condition->t1) + 1;
    lowCapacity = static_cast<int64_t>(condition->t2) + 1;
  }
  if (!acquireSelectionLists(memory, kept.lists, highCapacity, lowCapacity)) {
    stopRun(kMemoryFailureMessage);
  }

  kept.extremeCapacity = extremeCapacityFor(approxCount);
  if (const auto* optionA = std::get_if<OptionARequest>(&request)) {
    const ExtremeOption choice = optionA->extremeOption;
    highCapacity = choice == ExtremeOption::kMinimum ? 1 : kept.extremeCapacity;
    lowCapacity = choice == ExtremeOption::kModal ? 1 : kept.extremeCapacity;
  }
  const int cellsPerTable = problem.r * problem.c;
  if (!kept.highTables.acquire(memory, highCapacity, cellsPerTable) ||
      !kept.lowTables.acquire(memory, lowCapacity, cellsPerTable)) {
    stopRun(kMemoryFailureMessage);
  }
  return kept;
}

}  // namespace rxc
