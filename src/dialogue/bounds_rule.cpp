#include "dialogue/bounds_rule.h"

#include <cmath>

#include "base/tolerance.h"

namespace rxc {

bool boundsConsistent(bool inclusive, const Bound& lower, const Bound& upper) {
  if (inclusive) {  // L <= p <= U
    if (lower.typedAs(0.0) || upper.typedAs(1.0)) return true;
    if (upper.typedAs(0.0)) return false;
  } else {  // L < p < U
    if (upper.typedAs(0.0)) return false;
    if (lower.typedAs(0.0)) return true;
  }
  // Neither bound is a typed 0 here, so both have a logarithm.
  const double logL = lower.logValue.value_or(0.0);
  const double logU = upper.logValue.value_or(0.0);
  const double spread = std::fabs(logU) * kRelTol;
  return inclusive ? logL < logU + spread : logL < logU - spread;
}

bool conditionIsEmpty(const Bound& lower, const Bound& upper) {
  return (lower.typedAs(0.0) && upper.typedAs(0.0)) || (lower.typedAs(1.0) && upper.typedAs(1.0));
}

}  // namespace rxc
