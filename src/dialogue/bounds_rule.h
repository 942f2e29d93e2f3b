// The rules on the bounds L and U of options B and C: whether the two bounds
// are consistent, and whether they leave a condition that no table can meet.
#pragma once

#include "engine/problem/request.h"

namespace rxc {

// Typed entries are compared exactly (a bound given as an observed table
// matches none of the tests); the logarithms with the relative tolerance.
// `inclusive` is option C.
bool boundsConsistent(bool inclusive, const Bound& lower, const Bound& upper);

// L = U = 0 or L = U = 1, both typed: under option C no table can meet it.
bool conditionIsEmpty(const Bound& lower, const Bound& upper);

}  // namespace rxc
