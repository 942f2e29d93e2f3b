// The writing pass of option A when every table has the same probability: the
// enumeration runs again from its first table and hands the first T tables,
// each with its own probability, to whoever writes them.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/problem/problem.h"
#include "engine/problem/progress.h"

namespace rxc {

// `write` receives the r x c cells (row-major, valid during the call) and the
// table's probability. The pass stops at the table after the last one to
// write, or at the end of the distribution.
using TableWriter = std::function<void(const int16_t* cells, double probability)>;
void runWritingPass(const Problem& problem, int32_t tablesToWrite, ProgressBar& progress,
                    const TableWriter& write);

}  // namespace rxc
