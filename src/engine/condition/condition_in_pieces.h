// The condition pass of options B and C split into pieces for several workers
// (split_pass.h): the same results as the pass on one thread.
#pragma once

#include <cstdint>

#include "base/wide_sum.h"
#include "engine/condition/condition_visitor.h"
#include "engine/problem/pass_options.h"
#include "engine/problem/problem.h"
#include "engine/problem/progress.h"

namespace rxc {

struct PiecesTotals {
  uint64_t tableCount = 0;
  int64_t count = 0;  // accepted tables
  WideSum sum;        // their probabilities
};

// This thread walks the first pieces alone (PassOptions::aloneMicroseconds);
// then workers count and sum the accepted tables of the others and hand on
// those that `steps` could act on, and this thread runs the steps on them in
// generation order.
PiecesTotals acceptInPieces(const Problem& problem, AcceptedRange range, OrderedSteps& steps,
                            ProgressBar& progress, PassOptions options);

}  // namespace rxc
