// The estimated number of tables, shown on the console before the options.
#pragma once

#include <string_view>

#include "records/record_writer.h"

namespace rxc {

// An empty line, then " Numero aproximado de tablas 3x4 de la distribucion ="
// and the estimate in E13.6.
void showTableCountEstimate(RecordWriter& console, std::string_view dimText, float approxCount);

}  // namespace rxc
