// The report section of options B and C: the condition, the count and sum of
// the tables that meet it, Fisher's p-value, and the ordered listing.
#pragma once

#include "engine/condition/condition_pass.h"
#include "engine/problem/problem.h"
#include "engine/problem/request.h"
#include "engine/stores/kept_view.h"
#include "records/record_writer.h"
#include "report/table_block.h"

namespace rxc {

struct ConditionedView {
  const Problem& problem;
  const ConditionRequest& request;
  const ConditionOutcome& outcome;
  KeptListing kept;  // the kept tables (KeptTables::listing())
  const TableLayout& layout;
};

void writeConditionedSection(RecordWriter& report, const ConditionedView& view);

}  // namespace rxc
