// Capacities of the kept-table stores after the options dialogue, the refused
// reservations, and the promise that a reservation commits no memory.
#include "dialogue/kept_table_storage.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>

#include "dialogue/fatal_stop.h"
#include "dialogue/session.h"

namespace rxc {
namespace {

class StorageHarness {
 public:
  StorageHarness(int r, int c, MemoryBudget budget = MemoryBudget())
      : session_(in_, console_, report_, budget) {
    session_.state.r = static_cast<int16_t>(r);
    session_.state.c = static_cast<int16_t>(c);
  }
  Session& session() { return session_; }
  RunState& state() { return session_.state; }

  // The message of the stop, or "" when the acquisition went through.
  std::string acquire() {
    try {
      acquireKeptTableStores(session_);
    } catch (const FatalStop& stop) {
      EXPECT_FALSE(stop.consoleError2);
      return stop.reportMessage;
    }
    return "";
  }

 private:
  std::istringstream in_;
  std::ostringstream console_;
  std::ostringstream report_;
  Session session_;
};

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
  struct Case {
    int16_t extremeOption;
    int32_t t1, t2;
    float approxCount;
    int64_t high, low;
  };
  const Case cases[] = {
      {0, 0, 0, 1000.5f, 1, 1},         // B/C with T1 = T2 = 0: one slot each
      {0, 9, 4, 1000.5f, 10, 5},        // B/C: T1 + 1 and T2 + 1
      {1, 0, 0, 1000.5f, 3001, 1},      // modal tables only
      {2, 0, 0, 1000.5f, 1, 3001},      // minimum-probability tables only
      {3, 0, 0, 1000.5f, 3001, 3001},   // both
      {3, 0, 0, 0.27f, 1, 1},           // tiny estimate
      {1, 0, 0, 200000.0f, 500000, 1},  // bounded
  };
  for (const Case& c : cases) {
    StorageHarness h(2, 3);
    h.state().extremeOption = c.extremeOption;
    h.state().t1 = c.t1;
    h.state().t2 = c.t2;
    h.state().approxCount = c.approxCount;
    EXPECT_EQ(h.acquire(), "");
    EXPECT_EQ(h.state().highCapacity, c.high);
    EXPECT_EQ(h.state().lowCapacity, c.low);
    EXPECT_EQ(h.state().highTables.capacity(), c.high);
    EXPECT_EQ(h.state().lowTables.capacity(), c.low);
    const SelectionLists& lists = h.state().selection;
    EXPECT_TRUE(lists.highNext && lists.lowNext && lists.highProb && lists.lowProb &&
                lists.highOrder && lists.highLogProb && lists.lowLogProb);
  }
}

TEST(KeptTableStores, ReservedBytesFollowTheCapacities) {
  // T1 = 9, T2 = 4, 2 x 3: the slot arrays hold slots 0..10 and 0..5
  // (11 x (4 + 8 + 4 + 8) + 6 x (4 + 8 + 8) = 384 bytes), the stores
  // 10 and 5 tables of 6 two-byte cells (120 + 60 bytes).
  StorageHarness h(2, 3);
  h.state().t1 = 9;
  h.state().t2 = 4;
  EXPECT_EQ(h.acquire(), "");
  EXPECT_EQ(h.session().memory.used(), 384u + 180u);
}

TEST(KeptTableStores, LargestT1DoesNotWrapAndIsRefusedBeyondTheLimit) {
  // T1 = 2147483647 gives 2147483648 slots; 8 GiB for the first slot array is
  // beyond a 1 GiB limit, so the second group is refused.
  StorageHarness h(2, 2, MemoryBudget(uint64_t{1} << 30));
  h.state().t1 = std::numeric_limits<int32_t>::max();
  EXPECT_EQ(h.acquire(), " Fallo en la asignación de memoria.");
  EXPECT_EQ(h.state().highCapacity, int64_t{2147483648});
  EXPECT_EQ(h.state().lowCapacity, 1);
  EXPECT_FALSE(h.state().selection.highNext);
  EXPECT_EQ(h.session().memory.used(), 0u);
}

TEST(KeptTableStores, LargestT2RefusedAfterTheHighArrays) {
  StorageHarness h(2, 2, MemoryBudget(uint64_t{1} << 30));
  h.state().t2 = std::numeric_limits<int32_t>::max();
  EXPECT_EQ(h.acquire(), " Fallo en la asignación de memoria.");
  EXPECT_EQ(h.state().lowCapacity, int64_t{2147483648});
  EXPECT_TRUE(h.state().selection.highNext);  // acquired before the refusal
  EXPECT_FALSE(h.state().selection.lowNext);
}

TEST(KeptTableStores, TableStoresRefusedAfterTheSlotArrays) {
  // Option A, both lists, 100 x 100 and an estimate beyond 166667: 500000
  // tables of 10000 cells, 10 GB per store, beyond a 1 GiB limit.
  StorageHarness h(100, 100, MemoryBudget(uint64_t{1} << 30));
  h.state().extremeOption = 3;
  h.state().approxCount = 200000.0f;
  EXPECT_EQ(h.acquire(), " Fallo en la asignación de memoria.");
  EXPECT_TRUE(h.state().selection.lowLogProb);
  EXPECT_EQ(h.state().extremeCapacity, 500000);
  EXPECT_EQ(h.state().highCapacity, 500000);
}

#if defined(__SANITIZE_ADDRESS__)
#define RXC_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RXC_UNDER_SANITIZER 1
#endif
#endif

#ifndef RXC_UNDER_SANITIZER
long peakResidentKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

#endif

TEST(KeptTableStores, ReservationOfAHundredMillionSlotsCommitsNothing) {
#ifdef RXC_UNDER_SANITIZER
  GTEST_SKIP() << "the sanitizer's allocator maps its own shadow memory";
#else
  // T1 = 100000000 on a 2 x 2 table reserves about 2.4 GB of slot arrays and
  // 0.8 GB of table store; the peak resident size must not follow.
  StorageHarness h(2, 2);
  h.state().t1 = 100000000;
  const long before = peakResidentKilobytes();
  ASSERT_EQ(h.acquire(), "");
  const long after = peakResidentKilobytes();
  EXPECT_EQ(h.state().highTables.capacity(), 100000001);
  EXPECT_LT(after - before, 16 * 1024) << "peak RSS grew by " << (after - before) << " KiB";
#endif
}

}  // namespace
}  // namespace rxc
