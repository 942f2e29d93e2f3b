#include "system/machine_memory.h"

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <limits>
#include <string>

namespace rxc {

std::optional<uint64_t> memAvailableBytes(std::string_view meminfo) {
  constexpr std::string_view kLabel = "MemAvailable:";
  for (std::size_t start = 0; start < meminfo.size();) {
    std::size_t end = meminfo.find('\n', start);
    if (end == std::string_view::npos) end = meminfo.size();
    std::string_view line = meminfo.substr(start, end - start);
    start = end + 1;
    if (line.substr(0, kLabel.size()) != kLabel) continue;
    line.remove_prefix(kLabel.size());
    while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    uint64_t kilobytes = 0;
    std::size_t digits = 0;
    for (; digits < line.size() && line[digits] >= '0' && line[digits] <= '9'; ++digits) {
      if (kilobytes > std::numeric_limits<uint64_t>::max() / 1024 / 10) return std::nullopt;
      kilobytes = kilobytes * 10 + static_cast<uint64_t>(line[digits] - '0');
    }
    if (digits == 0 || line.substr(digits) != " kB") return std::nullopt;
    return kilobytes * 1024;
  }
  return std::nullopt;
}

uint64_t machineMemoryBudget() {
  std::ifstream file("/proc/meminfo");
  const std::string meminfo{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  std::optional<uint64_t> available = memAvailableBytes(meminfo);
  if (!available) {
    const long pages = ::sysconf(_SC_AVPHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return std::numeric_limits<uint64_t>::max();
    available = static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
  }
  return *available / 5 * 4;
}

}  // namespace rxc
