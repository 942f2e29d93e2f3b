// Options B and C: the pass that tests every table against the bounds L and U,
// counts and sums the accepted tables and keeps the T1 most and T2 least
// probable of them.
#pragma once

#include "dialogue/session.h"

namespace rxc {

// Runs the pass for RunMode 2, 3 or 4 and its end-of-pass steps (RunMode 4
// becomes 3). Leaves TableCount and the accumulators in the run state.
void runConditionedPass(Session& session);

}  // namespace rxc
