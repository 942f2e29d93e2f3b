#include "flow/result_stages.h"

#include "base/fatal_stop.h"
#include "dialogue/tables_to_write.h"
#include "engine/condition/condition_pass.h"
#include "engine/option_a/option_a_passes.h"
#include "engine/option_a/writing_pass.h"
#include "engine/stores/selection_lists.h"
#include "report/conditioned_section.h"
#include "report/equal_probability_notice.h"
#include "report/extreme_section.h"
#include "report/table_block.h"
#include "report/table_total.h"

namespace rxc {

namespace {

// The end of a stage, the start of every pass and every question: what the
// report holds reaches the file, so that a run interrupted during a long pass
// or at a prompt keeps it, and a report that cannot be written stops the run
// here.
void endStage(ResultContext& run) { run.report.flush(); }

// One extreme section: its heading, the question when more than ten tables
// are held, then the count and the tables. `toWrite` is K, one variable for
// both sections: the kept count when no question is asked, the answer
// otherwise.
void writeExtremeSection(ResultContext& run, const ExtremeSectionView& view, int32_t& toWrite) {
  writeExtremeHeading(run.report, view);
  endStage(run);  // the user may take long to answer
  const int32_t kept = view.tables.size();
  toWrite =
      kept > kWrittenWithoutQuestion
          ? askExtremeTablesToWrite(run.console, view.dimText, view.side, view.count, kept, toWrite)
          : kept;
  writeExtremeTables(run.report, view, toWrite);
  endStage(run);
}

void writeExtremeSections(ResultContext& run, const ExtremeTracking& e) {
  const TableLayout layout = tableLayoutOf(run.problem);
  int32_t toWrite = 0;
  if (e.modeKept > 0) {
    writeExtremeSection(run,
                        {ExtremeSide::kMaximum, run.problem.dimText, e.modeCount,
                         KeptGroup(run.kept.highTables, e.modeKept, e.modeLogProb), layout},
                        toWrite);
  }
  if (e.minKept > 0) {
    if (e.modeKept > 0) writeSectionSeparator(run.report);
    writeExtremeSection(run,
                        {ExtremeSide::kMinimum, run.problem.dimText, e.minCount,
                         KeptGroup(run.kept.lowTables, e.minKept, e.minLogProb), layout},
                        toWrite);
  }
}

// Every table has the first table's probability: no mode and no minimum; the
// first T tables are listed by one more pass.
void writeEqualProbabilityListing(ResultContext& run, uint64_t tableCount) {
  writeEqualProbabilityNotice(run.report, run.problem.dimText);
  endStage(run);  // the user may take long to answer
  const int32_t tablesToWrite = askEqualProbabilityTablesToWrite(run.console, run.problem.dimText);
  writeEqualProbabilityListingNote(run.report, tablesToWrite, static_cast<double>(tableCount));
  endStage(run);
  if (tablesToWrite <= 0) return;
  const TableLayout layout = tableLayoutOf(run.problem);
  runWritingPass(run.problem, tablesToWrite, run.progress,
                 [&](const int16_t* cells, double probability) {
                   writeTableBlock(run.report, layout, cells, probability, 0.0,
                                   /*showLog=*/false);
                 });
  endStage(run);
}

}  // namespace

// The kept-list check falls between the report's record and its two empty
// lines.
void writeTotals(ResultContext& run, double tableCount, bool keptListsOk) {
  run.console.blankLines(4);
  writeTableTotal(run.console.out(), "  Numero total de tablas ", run.problem.dimText, tableCount);
  run.console.out().list();
  run.report.list();
  writeTableTotal(run.report, " Numero total de tablas ", run.problem.dimText, tableCount);
  if (!keptListsOk) stopRun("", /*consoleError2=*/true);
  run.report.list();
  run.report.list();
  endStage(run);
}

void writeExtremeResults(ResultContext& run, double tableCount, const ExtremeTracking& extremes) {
  writeTotals(run, tableCount, /*keptListsOk=*/true);
  writeExtremeSections(run, extremes);
}

void runOptionAStage(ResultContext& run, const OptionARequest& request) {
  endStage(run);
  const FirstPassOutcome first = runFirstPass(run.problem, run.progress);
  if (!first.differs) {
    run.progress.writeFinish();
    writeTotals(run, static_cast<double>(first.tableCount), /*keptListsOk=*/true);
    writeEqualProbabilityListing(run, first.tableCount);
    return;
  }
  endStage(run);
  const TrackingOutcome tracking =
      runTrackingPass(run.problem, request.extremeOption, first, run.kept.highTables,
                      run.kept.lowTables, run.kept.extremeCapacity, run.progress, run.passOptions);
  run.progress.writeFinish();
  writeExtremeResults(run, static_cast<double>(tracking.tableCount), tracking.extremes);
}

void runConditionStage(ResultContext& run, const ConditionRequest& request) {
  endStage(run);
  const ConditionOutcome outcome =
      runConditionPass(run.problem, request, run.kept, run.progress, run.passOptions);
  run.progress.writeFinish();
  const SelectionLists& lists = run.kept.lists;
  writeTotals(run, static_cast<double>(outcome.tableCount),
              keptListsConsistent(request.t1, request.t2, outcome.count, lists.high.kept(),
                                  lists.low.kept()));
  const TableLayout layout = tableLayoutOf(run.problem);
  writeConditionedSection(run.report, {run.problem, request, outcome, run.kept.listing(), layout});
  endStage(run);
}

}  // namespace rxc
