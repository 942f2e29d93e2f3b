// Capacities of the kept-table stores after the options dialogue, their growth
// within the memory budget as tables are kept, the promise that setting them
// up commits no memory, and where the budget comes from: the machine's
// available memory, or the room its control group leaves.
#include "engine/stores/kept_tables.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "base/fatal_stop.h"
#include "base/tolerance.h"
#include "engine/option_a/extreme_tables.h"
#include "engine/problem/problem.h"
#include "engine/stores/selection_lists.h"
#include "system/machine_memory.h"

namespace rxc {
namespace {

// The request of option A (1, 2 or 3) or, for 0, of options B and C.
Request requestFor(int16_t extremeOption, int32_t t1, int32_t t2) {
  if (extremeOption != 0) return OptionARequest{static_cast<ExtremeOption>(extremeOption)};
  ConditionRequest condition;
  condition.t1 = t1;
  condition.t2 = t2;
  return condition;
}

// The stores, and the message of the stop ("" when the acquisition went through).
struct Acquired {
  KeptTables kept;
  std::string stop;
};
Acquired acquire(MemoryBudget& memory, const Problem& problem, const Request& request,
                 float approxCount) {
  Acquired out;
  try {
    out.kept = acquireKeptTables(memory, problem, request, approxCount);
  } catch (const FatalStop& stop) {
    EXPECT_FALSE(stop.consoleError2);
    out.stop = stop.reportMessage;
  }
  return out;
}

TEST(ExtremeCapacity, ThreeTimesTheEstimateTruncatedAndBounded) {
  EXPECT_EQ(extremeCapacityFor(1000.5f), 3001);
  EXPECT_EQ(extremeCapacityFor(2.2567582f), 6);  // 2 x 2, every marginal 1
  EXPECT_EQ(extremeCapacityFor(166666.0f), 499998);
  EXPECT_EQ(extremeCapacityFor(200000.0f), 500000);
  EXPECT_EQ(extremeCapacityFor(std::numeric_limits<float>::max()), 500000);
  EXPECT_EQ(extremeCapacityFor(std::numeric_limits<float>::infinity()), 500000);
  EXPECT_EQ(extremeCapacityFor(std::numeric_limits<float>::quiet_NaN()), 500000);
  // An estimate below 1/3 (3 x 3 with rows and columns 1, 1, 19998 gives
  // about 0.27) would leave no slot for the modal table: one slot at least.
  EXPECT_EQ(extremeCapacityFor(0.27f), 1);
  EXPECT_EQ(extremeCapacityFor(0.0f), 1);
  EXPECT_EQ(extremeCapacityFor(0.34f), 1);
}

TEST(KeptTableStores, CapacitiesByOption) {
  const struct {
    int16_t extremeOption;
    int32_t t1, t2;
    int64_t high, low;
  } cases[] = {
      {0, 0, 0, 1, 1},        // B/C with T1 = T2 = 0: one slot each
      {0, 9, 4, 10, 5},       // B/C: T1 + 1 and T2 + 1
      {1, 0, 0, 3001, 1},     // modal tables only (estimate 1000.5)
      {2, 0, 0, 1, 3001},     // minimum-probability tables only
      {3, 0, 0, 3001, 3001},  // both
  };
  const Problem problem = makeProblem({3, 3}, {2, 2, 2});
  for (const auto& c : cases) {
    MemoryBudget memory;
    const Acquired a = acquire(memory, problem, requestFor(c.extremeOption, c.t1, c.t2), 1000.5f);
    EXPECT_EQ(a.stop, "");
    EXPECT_EQ(a.kept.highTables.capacity(), c.high);
    EXPECT_EQ(a.kept.lowTables.capacity(), c.low);
    EXPECT_EQ(a.kept.lists.high.slotsHeld(), std::min<int64_t>(c.t1 + 1, 16));
    EXPECT_EQ(a.kept.lists.low.slotsHeld(), std::min<int64_t>(c.t2 + 1, 16));
  }
}

TEST(KeptTableStores, StoresTakeOnlyTheirFirstSlotsAndGrowWithinTheBudget) {
  // T1 = 2147483647 on 2 x 2 tables: 2147483648 slots at most, but at first
  // 16 slots of the high list (17 array elements of 4 + 8 + 4 + 8 bytes), one
  // of the low list (2 of 4 + 8 + 8), 16 tables of 4 cells and one more.
  const Problem twoByTwo = makeProblem({1, 1}, {1, 1});
  MemoryBudget memory(uint64_t{1} << 30);
  Acquired a =
      acquire(memory, twoByTwo, requestFor(0, std::numeric_limits<int32_t>::max(), 0), 2.2567582f);
  ASSERT_EQ(a.stop, "");
  EXPECT_EQ(a.kept.highTables.capacity(), 2147483648);
  EXPECT_EQ(memory.used(), 17u * 24 + 2u * 20 + 16u * 8 + 1u * 8);

  // Tables kept one after another under a budget of 8 KiB: the stores grow
  // (16, 32, 64, ... slots) until a growth would pass the budget, which ends
  // the run with the memory stop; the budget is never exceeded.
  MemoryBudget small(8192);
  Acquired b =
      acquire(small, twoByTwo, requestFor(0, std::numeric_limits<int32_t>::max(), 0), 2.2567582f);
  ASSERT_EQ(b.stop, "");
  TableSelector selector(b.kept.lists, b.kept.highTables, b.kept.lowTables,
                         std::numeric_limits<int32_t>::max(), 0, 4);
  struct Cells {
    void copyTo(int16_t* cells) const { std::fill_n(cells, 4, int16_t{7}); }
  };
  std::string stop;
  try {
    for (int k = 1; k <= 1000; ++k) selector.offer(-k, toleranceBand(-k), Cells{});
  } catch (const FatalStop& e) {
    stop = e.reportMessage;
  }
  EXPECT_EQ(stop, " Fallo en la asignación de memoria.");
  EXPECT_GT(b.kept.lists.high.kept(), 64);
  EXPECT_LE(small.used(), 8192u);
  for (int32_t k = 1; k <= b.kept.lists.high.kept(); ++k) {
    EXPECT_EQ(b.kept.highTables.slot(k)[3], 7) << k;
  }
}

TEST(KeptTableStores, AGroupViewReadsItsFirstTablesInSlotOrder) {
  // Five tables of two cells held, four of them in the group (option A keeps
  // them in generation order, slot 1 first); every one has the group's
  // probability, 1/4.
  MemoryBudget memory;
  TableStore store;
  ASSERT_TRUE(store.acquire(memory, 5, 2));
  for (int16_t k = 1; k <= 5; ++k) {
    int16_t* cells = store.slotToFill(k);
    cells[0] = k;
    cells[1] = static_cast<int16_t>(10 * k);
  }
  const double logQuarter = std::log(0.25);
  const KeptGroup group(store, 4, logQuarter);
  EXPECT_EQ(group.size(), 4);
  EXPECT_EQ(group.logProb(), logQuarter);
  EXPECT_DOUBLE_EQ(group.probability(), 0.25);
  auto ids = [&](const KeptGroup& tables) {
    std::vector<int16_t> out;
    for (const ListedTable& table : tables) {
      EXPECT_EQ(table.cells[1], 10 * table.cells[0]);
      EXPECT_EQ(table.probability, group.probability());
      EXPECT_EQ(table.logProb, logQuarter);
      out.push_back(table.cells[0]);
    }
    return out;
  };
  EXPECT_EQ(ids(group), (std::vector<int16_t>{1, 2, 3, 4}));
  EXPECT_EQ(ids(group.first(2)), (std::vector<int16_t>{1, 2}));
  EXPECT_EQ(ids(group.first(0)), std::vector<int16_t>{});
}

TEST(KeptTableStores, OptionAOnAHundredByHundredStopsAtTheBudgetInsteadOfReserving) {
  // Every marginal 2: the estimate is infinite, so each store may hold 500000
  // tables of 10000 cells (10 GB). At first it holds 16 (320 kB); tied
  // minimum tables make it grow until the budget, 16 MB here, refuses.
  const Problem problem = makeProblem(std::vector<int16_t>(100, 2), std::vector<int16_t>(100, 2));
  MemoryBudget memory(16u << 20);
  Acquired a =
      acquire(memory, problem, requestFor(2, 0, 0), std::numeric_limits<float>::infinity());
  ASSERT_EQ(a.stop, "");
  EXPECT_EQ(a.kept.lowTables.capacity(), 500000);
  EXPECT_EQ(a.kept.lowTables.slotsHeld(), 16);
  ExtremeTracking start;
  ExtremeTracker tracker(ExtremeOption::kMinimum, start, a.kept.highTables, a.kept.lowTables,
                         500000);
  ExtremeVisitor visitor(tracker);
  struct Tie {
    void copyTo(int16_t* cells) const { std::fill_n(cells, 10000, int16_t{1}); }
  };
  std::string stop;
  int tied = 0;
  try {
    for (; tied < 2000; ++tied) visitor.visit(0.0, Tie{});
  } catch (const FatalStop& e) {
    stop = e.reportMessage;
  }
  EXPECT_EQ(stop, " Fallo en la asignación de memoria.");
  EXPECT_GT(tied, 256);
  EXPECT_LE(memory.used(), 16u << 20);
}

TEST(MachineMemory, AvailableMemoryReadFromMeminfo) {
  const std::string meminfo =
      "MemTotal:       24683752 kB\nMemFree:        21712064 kB\n"
      "MemAvailable:   23309468 kB\nBuffers:            6340 kB\n";
  EXPECT_EQ(memAvailableBytes(meminfo), uint64_t{23309468} * 1024);
  EXPECT_EQ(memAvailableBytes("MemTotal: 1 kB\n"), std::nullopt);
  EXPECT_EQ(memAvailableBytes("MemAvailable: lots\n"), std::nullopt);
  EXPECT_EQ(memAvailableBytes("MemAvailable: 99999999999999999999 kB\n"), std::nullopt);
  // This machine's budget: some memory, less than all there is.
  const uint64_t budget = machineMemoryBudget();
  EXPECT_GT(budget, 0u);
  EXPECT_LT(budget, uint64_t{1} << 62);
}

// A file system of a few control group files, for cgroupMemoryRoom.
FileReader filesOf(std::map<std::string, std::string> files) {
  return [files = std::move(files)](const std::string& path) -> std::optional<std::string> {
    const auto found = files.find(path);
    if (found == files.end()) return std::nullopt;
    return found->second;
  };
}

TEST(MachineMemory, ControlGroupRoomIsTheLeastLimitLessUseUpTheHierarchy) {
  // Version 2: the group's own limit is loose, its parent's is tight; the
  // root sets none. 300 MiB used of which 100 MiB inactive file pages.
  const std::string v2 = "0::/user.slice/run.scope\n";
  const auto v2Files = filesOf({
      {"/sys/fs/cgroup/user.slice/run.scope/memory.max", "max\n"},
      {"/sys/fs/cgroup/user.slice/run.scope/memory.current", "1000\n"},
      {"/sys/fs/cgroup/user.slice/memory.max", "1073741824\n"},
      {"/sys/fs/cgroup/user.slice/memory.current", "314572800\n"},
      {"/sys/fs/cgroup/user.slice/memory.stat", "anon 1\ninactive_file 104857600\nactive_file 9\n"},
  });
  EXPECT_EQ(cgroupMemoryRoom(v2, v2Files), uint64_t{1073741824} - 209715200);

  // Version 1, the memory controller listed beside a version 2 line; a
  // container sees its own group at the root of the mount, so the path's
  // folders are missing and the root's limit holds. Its use above the limit
  // leaves nothing.
  const std::string v1 = "5:cpu,cpuacct:/docker/abc\n4:memory:/docker/abc\n0::/\n";
  EXPECT_EQ(cgroupMemoryRoom(v1, filesOf({
                                     {"/sys/fs/cgroup/memory/memory.limit_in_bytes", "536870912\n"},
                                     {"/sys/fs/cgroup/memory/memory.usage_in_bytes", "1048576\n"},
                                     {"/sys/fs/cgroup/memory/memory.stat",
                                      "inactive_file 7\ntotal_inactive_file 524288\n"},
                                 })),
            uint64_t{536870912} - 524288);
  EXPECT_EQ(cgroupMemoryRoom(v1, filesOf({
                                     {"/sys/fs/cgroup/memory/memory.limit_in_bytes", "1000\n"},
                                     {"/sys/fs/cgroup/memory/memory.usage_in_bytes", "5000\n"},
                                 })),
            0u);

  // No limit set ("max"), no memory line, unreadable numbers: none.
  EXPECT_EQ(cgroupMemoryRoom("0::/\n", filesOf({{"/sys/fs/cgroup/memory.max", "max\n"}})),
            std::nullopt);
  EXPECT_EQ(cgroupMemoryRoom("3:cpu:/a\n", filesOf({})), std::nullopt);
  EXPECT_EQ(cgroupMemoryRoom("0::/a\n", filesOf({{"/sys/fs/cgroup/a/memory.max", "12x\n"}})),
            std::nullopt);
  EXPECT_EQ(cgroupMemoryRoom("", filesOf({})), std::nullopt);
  // A path not from the root: read as given, then no further up.
  EXPECT_EQ(cgroupMemoryRoom("0::a\n", filesOf({{"/sys/fs/cgroupa/memory.max", "100\n"}})),
            uint64_t{100});
}

#if defined(__SANITIZE_ADDRESS__)
#define RXC_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RXC_UNDER_SANITIZER 1
#endif
#endif

TEST(KeptTableStores, ReservationOfAHundredMillionSlotsCommitsNothing) {
#ifdef RXC_UNDER_SANITIZER
  GTEST_SKIP() << "the sanitizer's allocator maps its own shadow memory";
#else
  // T1 = 100000000 on a 2 x 2 table reserves about 2.4 GB of slot arrays and
  // 0.8 GB of table store; the peak resident size must not follow.
  auto peakResidentKilobytes = [] {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
  };
  MemoryBudget memory;
  const Problem problem = makeProblem({1, 1}, {1, 1});
  const long before = peakResidentKilobytes();
  const Acquired a = acquire(memory, problem, requestFor(0, 100000000, 0), 2.2567582f);
  const long after = peakResidentKilobytes();
  ASSERT_EQ(a.stop, "");
  EXPECT_EQ(a.kept.highTables.capacity(), 100000001);
  EXPECT_LT(after - before, 16 * 1024) << "peak RSS grew by " << (after - before) << " KiB";
#endif
}

}  // namespace
}  // namespace rxc
