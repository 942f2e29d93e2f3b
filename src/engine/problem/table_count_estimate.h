// The normal approximation to the number of tables with the given marginals,
// shown before the enumeration; the progress pacing and the option-A capacity
// are derived from it.
#pragma once

#include "engine/problem/problem.h"

namespace rxc {

// A 4-byte real; when it lies beyond the 4-byte range it is +infinity, never
// NaN.
float approximateTableCount(const Problem& problem);

}  // namespace rxc
