// How much stack the process's main thread may use: its soft stack limit
// (`ulimit -s`), so that a deep recursion can be refused before it overflows.
#pragma once

#include <cstdint>

namespace rxc {

// The limit in bytes; an unlimited stack reads as 64 MiB, an unknown one as
// 8 MiB (the usual default).
uint64_t mainStackBytes();

}  // namespace rxc
