#include "engine/condition/condition_pass.h"

#include <limits>

#include "base/fatal_stop.h"
#include "base/tolerance.h"
#include "engine/condition/condition_in_pieces.h"
#include "engine/condition/condition_visitor.h"
#include "engine/condition/network_walk.h"
#include "engine/kernel/enumeration.h"
#include "engine/stores/selection_lists.h"

namespace rxc {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// The tolerance band of a bound that has a logarithm (a positive typed value,
// or an observed table); a bound without one gets `none`.
LogBand bandOf(const Bound& bound, LogBand none) {
  return bound.logValue ? toleranceBand(*bound.logValue) : none;
}

// Option B narrows the bounds by the tolerance (a table equal to L or U is
// rejected); option C widens them (it is accepted). A missing upper band
// accepts nothing; L = 0 typed accepts everything up to U.
AcceptedRange acceptedRangeOf(const ConditionRequest& request) {
  const LogBand lower = bandOf(request.lower, {kInfinity, kInfinity});
  const LogBand upper = bandOf(request.upper, {-kInfinity, -kInfinity});
  const bool lowerTyped0 = request.lower.typedAs(0.0);
  if (request.inclusive) {
    return lowerTyped0 ? AcceptedRange::atMost(upper.high) : AcceptedRange{lower.low, upper.high};
  }
  return lowerTyped0 ? AcceptedRange::atMost(upper.low) : AcceptedRange{lower.high, upper.low};
}

// Counts the tables of a pass that accepts none. Bounded, every table is a
// no-op and the walk counts whole subtrees; the per-table work is nothing, so
// the run-time shape serves.
uint64_t countOnly(const Problem& problem, ProgressBar& progress, PassOptions options) {
  if (options.bounded) {
    NothingMeetsVisitor visitor;
    return runPassAnyShape(problem, progress, visitor, options).tableCount;
  }
  AcceptNothingVisitor visitor;
  return runPassAnyShape(problem, progress, visitor, options).tableCount;
}

}  // namespace

void stopTooManyAcceptedTables() { stopRun("Demasiadas tablas. Contactar con el autor."); }

bool networkWalkTakes(const Problem& problem, const ConditionRequest& request,
                      const PassOptions& options) {
  return !request.nothingCanMeet && options.bounded && options.networkWalk &&
         networkWalkFits(problem, options.stackBytes);
}

ConditionOutcome runConditionPass(const Problem& problem, const ConditionRequest& request,
                                  KeptTables& kept, ProgressBar& progress, PassOptions options) {
  ConditionOutcome outcome;
  TableSelector selector(kept.lists, kept.highTables, kept.lowTables, request.t1, request.t2,
                         problem.r * problem.c);
  if (request.nothingCanMeet) {
    outcome.tableCount = countOnly(problem, progress, options);
    return outcome;
  }

  const AcceptedRange range = acceptedRangeOf(request);
  const ConditionTotals start;
  OrderedSteps steps(selector, start.maxLog, start.maxRaises);
  if (networkWalkTakes(problem, request, options)) {
    const NetworkOutcome walked =
        runNetworkWalk(problem, range, steps, progress, options.memory, options.networkMemoBytes,
                       options.networkTotalCountWork);
    outcome.tableCount = walked.tableCount;
    outcome.count = walked.count;
    outcome.exactSum = walked.sum;
    outcome.sum = roundedToDouble(walked.sum);
  } else if (options.workers > 1 && piecesDepthLimit(problem) > 0) {
    const PiecesTotals totals = acceptInPieces(problem, range, steps, progress, options);
    outcome.tableCount = totals.tableCount;
    outcome.count = totals.count;
    outcome.sum = totals.sum.rounded();
    outcome.exactSum = totals.sum.value();
  } else {
    const ExactProbabilities exact(problem);
    ConditionVisitor visitor(range, steps, exact);
    outcome.tableCount = runPass(problem, progress, visitor, options).tableCount;
    outcome.count = visitor.count();
    outcome.sum = visitor.sum().rounded();
    outcome.exactSum = visitor.sum().value();
  }
  outcome.maxLog = steps.maxLog();
  outcome.maxRaises = steps.maxRaises();
  outcome.tinyProbability = selector.finishPass();
  return outcome;
}

}  // namespace rxc
