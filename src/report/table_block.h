// The one layout of every table in the report: a blank line, the rows of cell
// counts, the probability (and, in listings that show it, its logarithm when
// the probability is below Tiny), and a blank line.
#pragma once

#include <cstdint>

#include "dialogue/run_state.h"
#include "records/record_writer.h"

namespace rxc {

// `cells` holds r x c counts, row-major.
void writeTableBlock(RecordWriter& report, const RunState& state, const int16_t* cells,
                     double probability, double logProb, bool showLog);

}  // namespace rxc
