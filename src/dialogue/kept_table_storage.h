// Capacities of the kept-table stores and the acquisition of the second and
// third groups of per-run arrays, right after the options dialogue.
#pragma once

#include "dialogue/session.h"

namespace rxc {

void acquireKeptTableStores(Session& session);

}  // namespace rxc
