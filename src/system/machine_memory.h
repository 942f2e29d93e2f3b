// How much memory the machine can give a run: the default limit of the run's
// memory budget, so that the kept-table stores stop with the memory-failure
// message before the system runs out of memory and kills the process.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace rxc {

// 80 % of the physical memory available at start: MemAvailable of
// /proc/meminfo, or the free pages the system reports where that is missing,
// or the room the process's control group leaves where that is less (a
// container's memory limit: past it the system kills the process without a
// word); no limit when none is known.
uint64_t machineMemoryBudget();

// A file's text, none when it cannot be read: the control groups' files are
// read through it, so that tests can stand in a file system.
using FileReader = std::function<std::optional<std::string>(const std::string& path)>;

// The memory the process's control group leaves, as /proc/self/cgroup
// (`selfCgroup`) places it: over the group and each group above it that sets
// a limit, the least of the limit less what the group uses (its inactive
// file pages, which the system reclaims first, not counted). The memory
// controller of version 1 (under /sys/fs/cgroup/memory) where it is listed,
// else version 2 (under /sys/fs/cgroup). A group whose folder is not there (a
// container sees its own group as the root) is skipped; none when no limit
// is found.
std::optional<uint64_t> cgroupMemoryRoom(std::string_view selfCgroup, const FileReader& readFile);

// MemAvailable of a /proc/meminfo text, in bytes; none when the line is
// missing or unreadable.
std::optional<uint64_t> memAvailableBytes(std::string_view meminfo);

}  // namespace rxc
