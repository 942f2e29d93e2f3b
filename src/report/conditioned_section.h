// The report section of options B and C: the condition, the count and sum of
// the tables that meet it, Fisher's p-value, and the ordered listing.
#pragma once

#include "dialogue/session.h"

namespace rxc {

void writeConditionedSection(Session& session);

}  // namespace rxc
