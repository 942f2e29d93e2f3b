// Option A when every table has the same probability: the notice that there
// is neither a mode nor a minimum, and the question for how many of the first
// generated tables to list.
#pragma once

#include <cstdint>

#include "dialogue/session.h"

namespace rxc {

// Writes the notice, asks T and writes the record announcing what follows.
// Returns T; the caller runs the writing pass when it is 1 or more.
int32_t writeEqualProbabilityNotice(Session& session);

}  // namespace rxc
