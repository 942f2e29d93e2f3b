// The enumeration stage of a run: the progress header, the run-wide
// accumulators, the passes of the chosen option, and the end of the bar.
#pragma once

#include "dialogue/session.h"
#include "engine/enumeration.h"

namespace rxc {

void runEnumeration(Session& session);

// The enumeration's view of the run state (0-based margins).
EnumerationInput enumerationInputFrom(const RunState& state);

// CountWidth: the number of decimal digits of a positive count plus one.
int16_t countWidth(double count);

}  // namespace rxc
