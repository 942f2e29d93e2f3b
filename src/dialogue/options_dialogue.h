// The result options dialogue: option A, B or C and what each needs (the 1/2/3
// choice; the bounds L and U typed or given as observed tables; T1 and T2).
#pragma once

#include "dialogue/console.h"
#include "engine/problem/problem.h"
#include "engine/problem/request.h"

namespace rxc {

Request runOptionsDialogue(Console& console, const Problem& problem);

}  // namespace rxc
