// The total number of tables of the distribution, the first record of the
// results on the console and in the report.
#pragma once

#include <string_view>

#include "records/record_writer.h"

namespace rxc {

// `label` fills 25 columns: "  Numero total de tablas " on the console,
// " Numero total de tablas " (right-justified to the same place) in the
// report. The integer form leaves the record open.
void writeTableTotal(RecordWriter& out, std::string_view label, std::string_view dimText,
                     double tableCount);

}  // namespace rxc
