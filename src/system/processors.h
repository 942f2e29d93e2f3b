// How many processors this process may run on: its CPU affinity, as `nproc`
// reports it (so `taskset -c 0 rxc` runs on one), at least 1.
#pragma once

namespace rxc {

int availableProcessors();

}  // namespace rxc
