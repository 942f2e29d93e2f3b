// Option A: the first pass that looks for a second, different probability, and
// the tracking pass that finds the modal and minimum-probability tables.
#pragma once

#include "dialogue/session.h"

namespace rxc {

// Runs the first pass (RunMode 5) and, when it meets a different probability,
// the tracking pass (RunMode 1) from the first table. When every table has the
// first table's probability, sets WritePass. Leaves TableCount of the last
// complete pass in the run state.
void runOptionAPasses(Session& session);

}  // namespace rxc
