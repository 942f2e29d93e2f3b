// The enumeration and results of a run, once the options are known: the
// passes of the chosen option, the total number of tables, and the report's
// sections with the questions asked between them.
#pragma once

#include "dialogue/console.h"
#include "engine/option_a/extreme_tables.h"
#include "engine/problem/pass_options.h"
#include "engine/problem/problem.h"
#include "engine/problem/progress.h"
#include "engine/problem/request.h"
#include "engine/stores/kept_tables.h"
#include "records/record_writer.h"

namespace rxc {

// What every stage after the options works with.
struct ResultContext {
  Console& console;
  RecordWriter& report;
  const Problem& problem;
  ProgressBar& progress;
  KeptTables& kept;
  PassOptions passOptions;
};

// Option A: the first pass, then the tracking pass and the modal and minimum
// sections, or, when every table has the same probability, the notice and
// the writing pass of the first T tables.
void runOptionAStage(ResultContext& run, const OptionARequest& request);

// Options B and C: the condition pass and the conditioned section.
void runConditionStage(ResultContext& run, const ConditionRequest& request);

// The steps after the passes, on their own for tests that set the results by
// hand. The total number of tables on the console and in the report; a failed
// check of the kept lists stops the run after the report's record (" Error 2"
// on the console).
void writeTotals(ResultContext& run, double tableCount, bool keptListsOk);
// The total, then the modal and minimum sections that were tracked, with the
// separator between them.
void writeExtremeResults(ResultContext& run, double tableCount, const ExtremeTracking& extremes);

}  // namespace rxc
