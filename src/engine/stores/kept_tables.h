// The stores of kept tables and their capacities, set up right after the
// options dialogue: the slot lists of options B and C (second group of
// arrays) and the table stores (third group), which option A uses for its
// modal and minimum-probability tables.
#pragma once

#include <cstdint>

#include "base/memory_budget.h"
#include "engine/problem/problem.h"
#include "engine/problem/request.h"
#include "engine/stores/kept_view.h"
#include "engine/stores/selection_lists.h"
#include "engine/stores/table_store.h"

namespace rxc {

// Largest number of modal or minimum-probability tables that option A keeps.
inline constexpr int64_t kExtremeCapacityLimit = 500000;

// The option-A capacity from the estimated number of tables: the integer part
// of the smaller of 3 x ApproxCount and 500000, but never below 1 (there is
// always at least the modal table to keep). An infinite or NaN estimate (one
// beyond any real) gives the limit.
int64_t extremeCapacityFor(float approxCount);

struct KeptTables {
  int64_t extremeCapacity = 0;  // option A: tables kept per group at most
  SelectionLists lists;         // options B and C
  TableStore highTables;        // modal tables, or the high list's tables
  TableStore lowTables;         // minimum-probability tables, or the low list's

  // Options B and C: the kept tables in the report's order, after the
  // end-of-pass step (TableSelector::finishPass()).
  KeptListing listing() const {
    return {lists.high.tables(highTables), lists.low.tables(lowTables)};
  }
};

// Sets up the slot lists (HighCapacity = T1 + 1 and LowCapacity = T2 + 1;
// 1 each for option A), then the table stores (for option A ExtremeCapacity
// for each group it tracks, 1 otherwise). Each takes only its first few slots
// now and grows as tables are kept, every growth taken from `memory`, which
// must outlive the stores; so T1 = 2147483647 costs what the run keeps. A
// refusal, now or in a growth, ends the run with the memory-failure stop.
KeptTables acquireKeptTables(MemoryBudget& memory, const Problem& problem, const Request& request,
                             float approxCount);

}  // namespace rxc
