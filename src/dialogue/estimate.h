// The normal approximation to the number of tables with the given marginals,
// shown before the enumeration; the progress pacing and the option-A capacity
// are derived from it.
#pragma once

#include <cstdint>
#include <vector>

#include "dialogue/session.h"
#include "engine/probability.h"

namespace rxc {

// `longMargins` and `shortMargins` are 1-based. The result is a 4-byte real;
// when it lies beyond the 4-byte range it is +infinity, never NaN.
float approximateTableCount(const LogFactorialTable& logFactorial,
                            const std::vector<int32_t>& longMargins,
                            const std::vector<int32_t>& shortMargins, int32_t n);

// Computes ApproxCount, writes its console lines and sets the progress pacing.
void showTableCountEstimate(Session& session);

}  // namespace rxc
