// The menu of result options shown before the option prompt.
#pragma once

#include <string_view>

#include "records/record_writer.h"

namespace rxc {

// Writes the whole menu: options A, B and C, the remarks on T1 and T2, and the
// empty line after them. `dimText` is the table size, such as "3x4".
void writeOptionsMenu(RecordWriter& console, std::string_view dimText);

}  // namespace rxc
