// How much memory the machine can give a run: the default limit of the run's
// memory budget, so that the kept-table stores stop with the memory-failure
// message before the system runs out of memory and kills the process.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace rxc {

// 80 % of the physical memory available at start: MemAvailable of
// /proc/meminfo, or the free pages the system reports where that is missing;
// no limit when neither is known.
uint64_t machineMemoryBudget();

// MemAvailable of a /proc/meminfo text, in bytes; none when the line is
// missing or unreadable.
std::optional<uint64_t> memAvailableBytes(std::string_view meminfo);

}  // namespace rxc
