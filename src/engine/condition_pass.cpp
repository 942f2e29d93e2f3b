#include "engine/condition_pass.h"

#include <limits>

#include "base/fatal_stop.h"
#include "base/tolerance.h"
#include "engine/condition_visitor.h"
#include "engine/enumeration.h"
#include "engine/selection_lists.h"

namespace rxc {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// The tolerance band of a bound that has a logarithm (a positive typed value,
// or an observed table); a bound without one gets `none`.
LogBand bandOf(const Bound& bound, LogBand none) {
  return bound.logValue ? toleranceBand(*bound.logValue) : none;
}

template <class Condition>
void runAccepting(const Problem& problem, Condition condition, TableSelector& selector,
                  ProgressBar& progress, PassOptions options, ConditionOutcome& outcome) {
  ConditionVisitor<Condition> visitor(condition, selector);
  outcome.tableCount = runPass(problem, progress, visitor, options).tableCount;
  const ConditionTotals& totals = visitor.totals();
  outcome.count = totals.count;
  outcome.sum = totals.sum.rounded();
  outcome.maxLog = totals.maxLog;
  outcome.maxRaises = totals.maxRaises;
}

}  // namespace

void stopTooManyAcceptedTables() { stopRun("Demasiadas tablas. Contactar con el autor."); }

ConditionOutcome runConditionPass(const Problem& problem, const ConditionRequest& request,
                                  KeptTables& kept, ProgressBar& progress, PassOptions options) {
  ConditionOutcome outcome;
  TableSelector selector(kept.lists, kept.highTables, kept.lowTables, request.t1, request.t2,
                         problem.r * problem.c);

  if (request.nothingCanMeet) {
    // Every table is a no-op: bounded, the walk counts whole subtrees.
    if (options.bounded) {
      NothingMeetsVisitor visitor;
      outcome.tableCount = runPass(problem, progress, visitor, options).tableCount;
    } else {
      AcceptNothingVisitor visitor;
      outcome.tableCount = runPass(problem, progress, visitor, options).tableCount;
    }
    return outcome;
  }

  // Option B narrows the bounds by the tolerance (a table equal to L or U is
  // rejected); option C widens them (it is accepted). A missing upper band
  // accepts nothing.
  const LogBand lower = bandOf(request.lower, {kInfinity, kInfinity});
  const LogBand upper = bandOf(request.upper, {-kInfinity, -kInfinity});
  const bool lowerTyped0 = request.lower.typedAs(0.0);
  if (request.inclusive && lowerTyped0) {
    runAccepting(problem, AtMostCondition{upper.high}, selector, progress, options, outcome);
  } else if (request.inclusive) {
    runAccepting(problem, BetweenCondition{lower.low, upper.high}, selector, progress, options,
                 outcome);
  } else if (lowerTyped0) {
    runAccepting(problem, AtMostCondition{upper.low}, selector, progress, options, outcome);
  } else {
    runAccepting(problem, BetweenCondition{lower.high, upper.low}, selector, progress, options,
                 outcome);
  }
  outcome.tinyProbability = selector.finishPass();
  return outcome;
}

}  // namespace rxc
