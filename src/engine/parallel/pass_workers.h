// How many threads the passes of a run are worth.
#pragma once

#include <cstdint>

#include "engine/problem/problem.h"

namespace rxc {

// Below this many tables a distribution's passes stay on one thread: starting
// threads and splitting the pass costs more than such a pass takes.
inline constexpr uint64_t kFewTables = 20000;

// One thread for a distribution of fewer than kFewTables tables, one per
// processor (`processors`, at least 1) otherwise. The decision rests on the
// exact number of tables, not on the estimate shown to the user, which can be
// far below it (45.7 for 570,477,600 tables on one 5 x 7 case).
int workersForPass(const Problem& problem, int processors);

}  // namespace rxc
