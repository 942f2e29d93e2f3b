// Capacities of the kept-table stores and the acquisition of the second and
// third groups of per-run arrays, right after the options dialogue.
#pragma once

#include <cstdint>

#include "dialogue/session.h"

namespace rxc {

// Largest number of modal or minimum-probability tables that option A keeps.
inline constexpr int64_t kExtremeCapacityLimit = 500000;

// The option-A capacity from the estimated number of tables: the integer part
// of the smaller of 3 x ApproxCount and 500000, but never below 1 (there is
// always at least the modal table to keep). An infinite or NaN estimate (one
// beyond any real) gives the limit.
int64_t extremeCapacityFor(float approxCount);

// Sets HighCapacity, LowCapacity and ExtremeCapacity and reserves the slot
// arrays and the table stores. The reservation writes nothing, so the memory
// a run commits is only what it uses. A refused reservation ends the run with
// the memory-failure stop.
void acquireKeptTableStores(Session& session);

}  // namespace rxc
