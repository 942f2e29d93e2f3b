// Entry of an observed table in place of the bound L or U: the cells typed row
// by row with corrections, checked against the marginals, and the table's
// probability shown.
#pragma once

#include <cstdint>
#include <vector>

#include "dialogue/console.h"
#include "engine/problem/problem.h"
#include "engine/problem/request.h"

namespace rxc {

// `cells` is the bound's plane of ObservedTables (r x c, row-major): rows
// accepted before a correction keep their values there, and it keeps the
// table for the next entry of the same bound. Returns the bound the table
// gives: its probability (0 when it underflowed) and log-probability.
Bound enterObservedTable(Console& console, const Problem& problem, std::vector<int16_t>& cells);

}  // namespace rxc
