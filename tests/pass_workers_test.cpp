// How many threads a run's passes get: from the exact number of tables, which
// the estimate shown to the user can miss by orders of magnitude.
#include "engine/parallel/pass_workers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "engine/problem/problem.h"
#include "engine/problem/table_count_estimate.h"

namespace rxc {
namespace {

// The tables of a 2 x 3 distribution, one per first row (u, v, rows[0] - u - v)
// within the columns.
uint64_t tablesOf2x3(const std::vector<int16_t>& rows, const std::vector<int16_t>& cols) {
  uint64_t tables = 0;
  for (int u = 0; u <= cols[0]; ++u) {
    for (int v = 0; v <= cols[1]; ++v) {
      const int w = rows[0] - u - v;
      if (w >= 0 && w <= cols[2]) ++tables;
    }
  }
  return tables;
}

// 570,477,600 tables behind an estimate of 45.7: every processor.
TEST(PassWorkers, LargeDistributionUnderASmallEstimateGetsEveryProcessor) {
  const Problem problem = makeProblem({4, 5, 2, 4, 95}, {20, 15, 15, 15, 15, 15, 15});
  ASSERT_LT(approximateTableCount(problem), 100.0f);
  EXPECT_EQ(workersForPass(problem, 2), 2);
  EXPECT_EQ(workersForPass(problem, 7), 7);
  EXPECT_EQ(workersForPass(problem, 1), 1);
}

// Too many tables to count within the work allowed (the estimate shows 0):
// taken as large.
TEST(PassWorkers, DistributionTooCostlyToCountGetsEveryProcessor) {
  const Problem problem =
      makeProblem(std::vector<int16_t>(10, 2000), std::vector<int16_t>(100, 200));
  EXPECT_EQ(workersForPass(problem, 2), 2);
}

TEST(PassWorkers, FewerThan20000TablesStayOnOneThread) {
  EXPECT_EQ(workersForPass(makeProblem({5, 12}, {3, 7, 7}), 2), 1);  // 18 tables

  const std::vector<int16_t> justUnderRows{255, 258}, justUnderCols{117, 198, 198};
  ASSERT_EQ(tablesOf2x3(justUnderRows, justUnderCols), 19999u);
  EXPECT_EQ(workersForPass(makeProblem(justUnderRows, justUnderCols), 2), 1);

  const std::vector<int16_t> atLimitRows{257, 262}, atLimitCols{113, 202, 204};
  ASSERT_EQ(tablesOf2x3(atLimitRows, atLimitCols), 20000u);
  EXPECT_EQ(workersForPass(makeProblem(atLimitRows, atLimitCols), 2), 2);
}

}  // namespace
}  // namespace rxc
