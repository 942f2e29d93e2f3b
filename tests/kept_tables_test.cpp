// Capacities of the kept-table stores after the options dialogue, the refused
// reservations, and the promise that a reservation commits no memory.
#include "engine/kept_tables.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "base/fatal_stop.h"
#include "base/machine_memory.h"
#include "engine/problem.h"

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
    const SelectionLists& lists = a.kept.lists;
    EXPECT_TRUE(lists.highNext && lists.lowNext && lists.highProb && lists.lowProb &&
                lists.highOrder && lists.highLogProb && lists.lowLogProb);
  }
}

TEST(KeptTableStores, RefusalsBeyondTheLimitAtEachStage) {
  const struct {
    const char* why;
    int side;
    int16_t extremeOption;
    int32_t t1, t2;
    uint64_t acquiredBefore;  // bytes reserved before the refusal
  } cases[] = {
      // T1 = 2147483647 gives 2147483648 slots (no wrap): 8 GiB for the first
      // slot array.
      {"largest T1", 2, 0, std::numeric_limits<int32_t>::max(), 0, 0},
      // The high list's next-slot array (two 4-byte slots) came first.
      {"largest T2, after the high arrays", 2, 0, 0, std::numeric_limits<int32_t>::max(), 8},
      // Both lists of 500000 tables of 10000 cells: 10 GB per table store,
      // after the seven slot arrays of two slots each.
      {"option A on 100 x 100, after the slot arrays", 100, 3, 0, 0, 88},
  };
  for (const auto& c : cases) {
    MemoryBudget memory(uint64_t{1} << 30);
    const Problem problem =
        makeProblem(std::vector<int16_t>(c.side, 1), std::vector<int16_t>(c.side, 1));
    // The stop leaves no stores behind; the budget shows how far it got.
    const Acquired a = acquire(memory, problem, requestFor(c.extremeOption, c.t1, c.t2), 200000.0f);
    EXPECT_EQ(a.stop, " Fallo en la asignación de memoria.") << c.why;
    EXPECT_EQ(memory.used(), c.acquiredBefore) << c.why;
  }
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
