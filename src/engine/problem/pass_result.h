// What a pass (or a piece of one) hands back: how many tables it generated,
// and whether it went to the end of the distribution.
#pragma once

#include <cstdint>

namespace rxc {

struct PassResult {
  uint64_t tableCount = 0;  // tables generated in this pass (the last one included)
  bool completed = false;   // true when the distribution was exhausted
};

}  // namespace rxc
