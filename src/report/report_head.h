// The head of the report: the title with the table size and the two lines of
// marginals.
#pragma once

#include "engine/problem/problem.h"
#include "records/record_writer.h"

namespace rxc {

void writeReportHead(RecordWriter& report, const Problem& problem);

}  // namespace rxc
