// Option A: the tables of maximum probability (modal tables) and of minimum
// probability, with how many there are, found during the enumeration.
#pragma once

#include <cstdint>

#include "engine/table_slots.h"

namespace rxc {

struct ExtremeTracking {
  double modeLogProb = 0.0;
  double minLogProb = 0.0;
  int32_t modeKept = 0;
  int32_t minKept = 0;
  double modeCount = 0.0;
  double minCount = 0.0;
};

}  // namespace rxc
