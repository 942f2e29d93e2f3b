// Entry of an observed table in place of the bound L (bound 1) or U (bound 2).
#pragma once

#include "dialogue/session.h"

namespace rxc {

void enterObservedTable(Session& session, int bound);

}  // namespace rxc
