#include "system/machine_memory.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <utility>

namespace rxc {

namespace {

// Calls `take` on each piece of `text` between `separator`s, in order, until
// it returns true; whether one did.
template <class Take>
bool anyPiece(std::string_view text, char separator, Take take) {
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find(separator, start);
    if (end == std::string_view::npos) end = text.size();
    if (take(text.substr(start, end - start))) return true;
    start = end + 1;
  }
  return false;
}

// Decimal digits, all of them; none if empty, anything else, or beyond 64
// bits.
std::optional<uint64_t> decimal(std::string_view digits) {
  if (digits.empty()) return std::nullopt;
  uint64_t value = 0;
  for (const char digit : digits) {
    if (digit < '0' || digit > '9') return std::nullopt;
    if (value > (std::numeric_limits<uint64_t>::max() - 9) / 10) return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(digit - '0');
  }
  return value;
}

// A number of bytes as a control group file holds it (digits, then a line
// end); none for "max" (no limit) or anything else.
std::optional<uint64_t> cgroupBytes(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
  return decimal(text);
}

// Where the memory controller of one version keeps a group's limit and use.
struct CgroupLayout {
  std::string root;
  const char* limit;
  const char* usage;
  // The line of memory.stat that counts the group's file pages on the
  // inactive list, which the system takes back before it kills anyone.
  const char* inactiveFiles;
};

// The value of the `label` line of a memory.stat text ("label value"); none
// when missing.
std::optional<uint64_t> statValue(std::string_view stat, std::string_view label) {
  std::optional<uint64_t> value;
  anyPiece(stat, '\n', [&](std::string_view line) {
    if (line.size() <= label.size() || !line.starts_with(label) || line[label.size()] != ' ') {
      return false;
    }
    value = cgroupBytes(line.substr(label.size() + 1));
    return true;
  });
  return value;
}

// The group's path from the /proc/self/cgroup line of the memory controller:
// version 1 ("4:memory:/path", the controller among others after the first
// colon) if listed, else version 2 ("0::/path").
std::optional<std::pair<CgroupLayout, std::string>> memoryCgroup(std::string_view selfCgroup) {
  std::optional<std::string> unified;
  std::optional<std::string> versionOne;
  anyPiece(selfCgroup, '\n', [&](std::string_view line) {
    const std::size_t first = line.find(':');
    const std::size_t second = first == std::string_view::npos ? first : line.find(':', first + 1);
    if (second == std::string_view::npos) return false;
    const std::string_view controllers = line.substr(first + 1, second - first - 1);
    const std::string_view path = line.substr(second + 1);
    if (line.substr(0, first) == "0" && controllers.empty()) {
      unified = std::string(path);
      return false;
    }
    if (!anyPiece(controllers, ',', [](std::string_view name) { return name == "memory"; })) {
      return false;
    }
    versionOne = std::string(path);
    return true;
  });
  if (versionOne) {
    return std::pair{CgroupLayout{"/sys/fs/cgroup/memory", "memory.limit_in_bytes",
                                  "memory.usage_in_bytes", "total_inactive_file"},
                     *versionOne};
  }
  if (!unified) return std::nullopt;
  return std::pair{CgroupLayout{"/sys/fs/cgroup", "memory.max", "memory.current", "inactive_file"},
                   *unified};
}

std::optional<std::string> readWholeFile(const std::string& path) {
  std::ifstream file(path);
  if (!file) return std::nullopt;
  return std::string{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace

std::optional<uint64_t> memAvailableBytes(std::string_view meminfo) {
  constexpr std::string_view kLabel = "MemAvailable:";
  std::optional<uint64_t> bytes;
  anyPiece(meminfo, '\n', [&](std::string_view line) {
    if (!line.starts_with(kLabel)) return false;
    line.remove_prefix(kLabel.size());
    while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    if (!line.ends_with(" kB")) return true;
    const std::optional<uint64_t> kilobytes = decimal(line.substr(0, line.size() - 3));
    if (kilobytes && *kilobytes <= std::numeric_limits<uint64_t>::max() / 1024) {
      bytes = *kilobytes * 1024;
    }
    return true;
  });
  return bytes;
}

std::optional<uint64_t> cgroupMemoryRoom(std::string_view selfCgroup, const FileReader& readFile) {
  const auto found = memoryCgroup(selfCgroup);
  if (!found) return std::nullopt;
  const CgroupLayout& layout = found->first;
  std::string path = found->second;
  std::optional<uint64_t> room;
  // The group, then each one above it, up to the root of the hierarchy.
  for (;;) {
    while (!path.empty() && path.back() == '/') path.pop_back();
    const std::string folder = layout.root + path + "/";
    const std::optional<std::string> limitText = readFile(folder + layout.limit);
    const std::optional<uint64_t> limit = limitText ? cgroupBytes(*limitText) : std::nullopt;
    if (limit) {
      const std::optional<std::string> usageText = readFile(folder + layout.usage);
      uint64_t usage = usageText ? cgroupBytes(*usageText).value_or(0) : 0;
      const std::optional<std::string> stat = readFile(folder + "memory.stat");
      usage -= std::min(usage, stat ? statValue(*stat, layout.inactiveFiles).value_or(0) : 0);
      const uint64_t left = *limit > usage ? *limit - usage : 0;
      room = room ? std::min(*room, left) : left;
    }
    // Up one group; a path that does not start at the root (never the
    // kernel's) ends the climb where it ends.
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) break;
    path.erase(slash);
  }
  return room;
}

uint64_t machineMemoryBudget() {
  const std::string meminfo = readWholeFile("/proc/meminfo").value_or("");
  std::optional<uint64_t> available = memAvailableBytes(meminfo);
  if (!available) {
    const long pages = ::sysconf(_SC_AVPHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0) {
      available = static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
    }
  }
  const std::optional<uint64_t> group =
      cgroupMemoryRoom(readWholeFile("/proc/self/cgroup").value_or(""), readWholeFile);
  if (group) available = available ? std::min(*available, *group) : *group;
  if (!available) return std::numeric_limits<uint64_t>::max();
  return *available / 5 * 4;
}

}  // namespace rxc
