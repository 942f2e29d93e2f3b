#include "report/summary_section.h"

#include <cstdint>
#include <string>

#include "base/fatal_stop.h"
#include "engine/option_a_passes.h"
#include "report/count_form.h"
#include "report/equal_probability_notice.h"
#include "report/extreme_section.h"

namespace rxc {

namespace {

// The total number of tables on one stream, with a label that fills 25 columns.
void writeTotalRecord(RecordWriter& out, const RunState& state, const char* label) {
  out.format("(A25,A" + std::to_string(state.dimText.size()) + ",A21\\)",
             {label, state.dimText, " de la distribucion ="});
  writeCountForm(out, state.tableCount, /*keepRealOpen=*/false);
}

// The kept lists of options B and C must hold no more than was asked, and all
// of the accepted tables when they could. Under option A everything is 0.
bool keptListsConsistent(const RunState& state) {
  const int64_t highKept = state.selection.highKept;
  const int64_t lowKept = state.selection.lowKept;
  const int64_t asked = int64_t{state.t1} + int64_t{state.t2};
  if (highKept > state.t1 || lowKept > state.t2) return false;
  return !(asked >= state.conditionCount && highKept + lowKept != state.conditionCount);
}

void writeExtremeSections(Session& session) {
  const ExtremeTracking& e = session.state.extremes;
  if (e.modeKept > 0) writeExtremeSection(session, ExtremeSide::kMaximum);
  if (e.minKept > 0) {
    if (e.modeKept > 0) writeSectionSeparator(session.report);
    writeExtremeSection(session, ExtremeSide::kMinimum);
  }
}

}  // namespace

bool writeResultsSummary(Session& session) {
  const RunState& state = session.state;
  for (int k = 0; k < 4; ++k) session.console.list();
  writeTotalRecord(session.console, state, "  Numero total de tablas ");
  session.console.list();
  session.report.list();
  writeTotalRecord(session.report, state, " Numero total de tablas ");
  if (!keptListsConsistent(state)) stopRun("", /*consoleError2=*/true);
  session.report.list();
  session.report.list();

  if (state.runMode == 1) {
    writeExtremeSections(session);
    return false;
  }
  if (state.writePass == 1) {
    const int32_t tablesToWrite = writeEqualProbabilityNotice(session);
    if (tablesToWrite > 0) runWritingPass(session, tablesToWrite);
    return false;
  }
  return true;
}

}  // namespace rxc
