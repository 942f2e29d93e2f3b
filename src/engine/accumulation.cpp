#include "engine/accumulation.h"

#include <cmath>

#include "engine/condition_pass.h"
#include "engine/option_a_passes.h"

namespace rxc {

int16_t countWidth(double count) {
  return static_cast<int16_t>(std::trunc(std::log10(count) + 2.0));
}

EnumerationInput enumerationInputFrom(const RunState& state) {
  EnumerationInput input;
  input.r = state.r;
  input.c = state.c;
  input.rowMargin.assign(state.rowMargin.begin() + 1, state.rowMargin.end());
  input.colMargin.assign(state.colMargin.begin() + 1, state.colMargin.end());
  input.n = state.n;
  input.logFactorial = state.logFactorial.data();
  input.logMarginConst = state.logMarginConst;
  return input;
}

void runEnumeration(Session& session) {
  RunState& s = session.state;
  for (int k = 0; k < 4; ++k) session.console.list();
  session.console.list({" Progreso de los calculos:"});
  s.progress.writeStart();

  s.conditionCount = 0;
  s.conditionSum = 0.0;
  s.conditionMaxLog = -2.0e300;
  s.conditionMaxRaises = 0;
  s.tinyProbabilityFlag = 0;
  s.fisherMode = 0;
  s.extremes = ExtremeTracking{};

  if (s.runMode == 5 || s.runMode == 1) {
    runOptionAPasses(session);
  } else {
    runConditionedPass(session);
  }
  s.progress.writeFinish();
  s.countWidth = countWidth(s.tableCount);
}

}  // namespace rxc
