#include "engine/option_a/extreme_tables.h"

#include <cmath>
#include <limits>

namespace rxc {

namespace {

// Below this magnitude (and above 0) the product |v| x RelTol may lose its
// relative precision to gradual underflow; log-probabilities never get there
// (a non-zero one is at least about 1e-16 in magnitude), but if one did, every
// table would simply go through the band rule.
constexpr double kSmallestGuarded = 1e-250;

bool guardable(double stored) { return stored == 0.0 || std::fabs(stored) >= kSmallestGuarded; }

}  // namespace

double modalGuard(double stored) {
  if (!guardable(stored)) return -std::numeric_limits<double>::infinity();
  return stored - std::fabs(stored) * (2.0 * kRelTol);
}

double minimumGuard(double stored) {
  if (!guardable(stored)) return std::numeric_limits<double>::infinity();
  return stored + std::fabs(stored) * (2.0 * kRelTol);
}

}  // namespace rxc
