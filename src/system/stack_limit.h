// How much stack the process's main thread may use: its soft stack limit
// (`ulimit -s`), so that a deep recursion can be refused before it overflows,
// and the least the run needs to start at all.
#pragma once

#include <cstdint>

namespace rxc {

// The least stack a run needs: its own frames take some 90 KiB before any
// recursion (the deep ones size themselves by the limit), and a smaller
// limit would end it in a segmentation fault, with no word on the console.
inline constexpr uint64_t kLeastStackBytes = uint64_t{256} << 10;

// The limit in bytes; an unlimited stack reads as 64 MiB, an unknown one as
// 8 MiB (the usual default).
uint64_t mainStackBytes();

// Gives the main thread at least `least` bytes of stack where the soft limit
// is lower and the hard limit allows it (a process may raise its own soft
// limit), and threads started later at least as much (their default stack
// was sized by the limit the process started with). Returns mainStackBytes()
// afterwards: below `least` when the hard limit is.
uint64_t raiseStackTo(uint64_t least);

}  // namespace rxc
