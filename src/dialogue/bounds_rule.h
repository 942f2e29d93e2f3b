// The rules on the bounds L and U of options B and C: whether the two bounds
// are consistent, and whether they leave a condition that no table can meet.
#pragma once

#include <cstdint>

namespace rxc {

// Typed entries are compared exactly (a bound given as an observed table keeps
// the entry 9.0, which matches none of the tests); the logarithms are compared
// with the relative tolerance. `runMode` is 2 (option B) or 3 (option C).
bool boundsConsistent(int16_t runMode, double lEntry, double uEntry, double logL, double logU);

// L = U = 0 or L = U = 1, both typed: under option C no table can meet it.
bool conditionIsEmpty(double lEntry, double uEntry);

}  // namespace rxc
