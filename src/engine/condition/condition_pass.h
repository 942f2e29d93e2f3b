// Options B and C: the pass that tests every table against the bounds L and U,
// counts and sums the accepted tables and keeps the T1 most and T2 least
// probable of them.
#pragma once

#include <cstdint>

#include "base/wide_real.h"
#include "engine/problem/pass_options.h"
#include "engine/problem/problem.h"
#include "engine/problem/progress.h"
#include "engine/problem/request.h"
#include "engine/stores/kept_tables.h"

namespace rxc {

struct ConditionOutcome {
  uint64_t tableCount = 0;       // TableCount
  int64_t count = 0;             // ConditionCount
  double sum = 0.0;              // ConditionSum: the exact sum, rounded once
  WideReal exactSum{};           // the same sum, to far more digits than are printed
  double maxLog = -2.0e300;      // ConditionMaxLog
  int32_t maxRaises = 0;         // ConditionMaxRaises
  bool tinyProbability = false;  // TinyProbabilityFlag
};

// Whether the network walk takes the pass: then it runs on the calling
// thread whatever options.workers says.
bool networkWalkTakes(const Problem& problem, const ConditionRequest& request,
                      const PassOptions& options);

// Runs the pass and its end-of-pass steps; the kept tables are left in
// `kept`. A request that nothing can meet only counts the tables.
ConditionOutcome runConditionPass(const Problem& problem, const ConditionRequest& request,
                                  KeptTables& kept, ProgressBar& progress,
                                  PassOptions options = {});

}  // namespace rxc
