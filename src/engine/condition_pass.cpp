#include "engine/condition_pass.h"

#include <limits>

#include "base/fatal_stop.h"
#include "engine/accumulation.h"
#include "engine/condition_visitor.h"
#include "engine/enumeration.h"
#include "engine/probability.h"
#include "engine/selection_lists.h"

namespace rxc {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Tolerance bands of the bounds: only for a bound that has a logarithm (a
// positive typed value, or an observed table). A missing upper band accepts
// nothing.
struct BoundBands {
  LogBand l{kInfinity, kInfinity};
  LogBand u{-kInfinity, -kInfinity};
};

BoundBands boundBandsOf(const RunState& s) {
  BoundBands bands;
  if (s.lEntry > 0.0) bands.l = toleranceBand(s.logL);
  if (s.uEntry > 0.0) bands.u = toleranceBand(s.logU);
  return bands;
}

template <class Condition>
void runAccepting(Session& session, const EnumerationInput& input, Condition condition,
                  TableSelector& selector) {
  RunState& s = session.state;
  ConditionVisitor<Condition> visitor(condition, selector);
  const PassResult result = runPass(input, s.progress, visitor);
  s.tableCount = static_cast<double>(result.tableCount);
  const ConditionTotals& totals = visitor.totals();
  s.conditionCount = totals.count;
  s.conditionSum = totals.sum;
  s.conditionMaxLog = totals.maxLog;
  s.conditionMaxRaises = totals.maxRaises;
}

}  // namespace

void stopTooManyAcceptedTables() { stopRun("Demasiadas tablas. Contactar con el autor."); }

void runConditionedPass(Session& session) {
  RunState& s = session.state;
  const EnumerationInput input = enumerationInputFrom(s);
  TableSelector selector(s.selection, s.highTables, s.lowTables, s.t1, s.t2, s.r * s.c);

  if (s.runMode == 4) {
    AcceptNothingVisitor visitor;
    s.tableCount = static_cast<double>(runPass(input, s.progress, visitor).tableCount);
    s.runMode = 3;
    return;
  }

  // Option B narrows the bounds by the tolerance (a table equal to L or U is
  // rejected); option C widens them (it is accepted). Any mode other than 3
  // works as option B.
  const BoundBands bands = boundBandsOf(s);
  const bool optionC = s.runMode == 3;
  const bool lowerTyped0 = s.lEntry == 0.0;
  if (optionC && lowerTyped0) {
    runAccepting(session, input, AtMostCondition{bands.u.high}, selector);
  } else if (optionC) {
    runAccepting(session, input, BetweenCondition{bands.l.low, bands.u.high}, selector);
  } else if (lowerTyped0) {
    runAccepting(session, input, AtMostCondition{bands.u.low}, selector);
  } else {
    runAccepting(session, input, BetweenCondition{bands.l.high, bands.u.low}, selector);
  }
  selector.finishPass(s.tinyProbabilityFlag);
}

}  // namespace rxc
