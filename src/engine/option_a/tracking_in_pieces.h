// Option A's tracking pass split into pieces for several workers
// (split_pass.h): the same results as the pass on one thread.
#pragma once

#include <cstdint>

#include "engine/option_a/extreme_tables.h"
#include "engine/problem/pass_options.h"
#include "engine/problem/problem.h"
#include "engine/problem/progress.h"
#include "engine/problem/request.h"

namespace rxc {

// This thread walks the first pieces alone (PassOptions::aloneMicroseconds);
// then workers hand on the tables of the others that the tracking step could
// act on, and this thread runs the step on them in generation order. Returns
// the pass's table count; the tracked groups end in `tracker`.
uint64_t trackInPieces(const Problem& problem, ExtremeOption choice, ExtremeTracker& tracker,
                       ProgressBar& progress, PassOptions options);

}  // namespace rxc
