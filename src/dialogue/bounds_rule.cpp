#include "dialogue/bounds_rule.h"

#include <cmath>

#include "engine/probability.h"

namespace rxc {

bool boundsConsistent(int16_t runMode, double lEntry, double uEntry, double logL, double logU) {
  const double spread = std::fabs(logU) * kRelTol;
  if (runMode == 3) {  // L <= p <= U
    if (lEntry == 0.0 || uEntry == 1.0) return true;
    if (uEntry == 0.0) return false;
    return logL < logU + spread;
  }
  // L < p < U
  if (uEntry == 0.0) return false;
  if (lEntry == 0.0) return true;
  return logL < logU - spread;
}

bool conditionIsEmpty(double lEntry, double uEntry) {
  return (lEntry == 0.0 && uEntry == 0.0) || (lEntry == 1.0 && uEntry == 1.0);
}

}  // namespace rxc
