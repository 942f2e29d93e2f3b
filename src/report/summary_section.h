// The results that follow every enumeration: the total number of tables, the
// kept-list consistency check, and for option A the modal and minimum sections
// or the equal-probability notice with its writing pass.
#pragma once

#include "dialogue/session.h"

namespace rxc {

// Returns true when the conditioned section of options B and C follows.
bool writeResultsSummary(Session& session);

}  // namespace rxc
