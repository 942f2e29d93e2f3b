#include "engine/stores/kept_tables.h"

#include <algorithm>

#include "base/fatal_stop.h"

namespace rxc {

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
  SelectionLists& lists = kept.lists;
  if (!lists.high.acquire(memory, highCapacity, std::min(highCapacity, TableStore::kFirstSlots)) ||
      !lists.low.acquire(memory, lowCapacity, std::min(lowCapacity, TableStore::kFirstSlots))) {
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
