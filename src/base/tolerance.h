// Every comparison of two probabilities is made on their logarithms, with a
// relative tolerance band around the value being classified (never around the
// stored one, so the relation is not symmetric).
#pragma once

#include <cmath>

namespace rxc {

// 1000 x the double-precision machine epsilon.
inline constexpr double kRelTol = 1000.0 * 2.220446049250313e-16;

// The tolerance band of a log-probability v: [v - |v| RelTol, v + |v| RelTol].
struct LogBand {
  double low;
  double high;
};
inline LogBand toleranceBand(double v) {
  const double spread = std::fabs(v) * kRelTol;
  return {v - spread, v + spread};
}

}  // namespace rxc
