// Option A when every table has the same probability: the notice that there
// is neither a mode nor a minimum, and the record that says which tables
// follow once the user has said how many (T) to write.
#pragma once

#include <cstdint>
#include <string_view>

#include "records/record_writer.h"

namespace rxc {

// The two notice records and the empty line after them.
void writeEqualProbabilityNotice(RecordWriter& report, std::string_view dimText);

// What follows for T: none (T of 0 or less), all of them (T not less than
// the number of tables), or the first T.
void writeEqualProbabilityListingNote(RecordWriter& report, int32_t tablesToWrite,
                                      double tableCount);

}  // namespace rxc
