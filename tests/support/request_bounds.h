// Bounds L and U of options B and C as the dialogue makes them: a probability
// typed in, or the probability of an observed table.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/problem/problem.h"
#include "engine/problem/request.h"

namespace rxc::testing {

inline Bound typedBound(double value) {
  Bound bound;
  bound.value = value;
  if (value > 0.0) bound.logValue = std::log(value);
  return bound;
}

inline Bound tableBound(const Problem& problem, const std::vector<int16_t>& cells) {
  Bound bound;
  bound.source = Bound::Source::kObservedTable;
  bound.logValue = observedTableLogProb(problem, cells.data());
  bound.value = std::exp(*bound.logValue);
  bound.observedTable = cells;
  return bound;
}

}  // namespace rxc::testing
