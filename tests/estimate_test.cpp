// The estimate of the number of tables, against values worked out by hand from
// the normal approximation (their console fields are in the whole-session
// tests), and its behaviour at the edges of the 4-byte range.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/problem/problem.h"
#include "engine/problem/table_count_estimate.h"

namespace rxc {
namespace {

float estimate(std::vector<int16_t> rows, std::vector<int16_t> cols) {
  return approximateTableCount(makeProblem(std::move(rows), std::move(cols)));
}

TEST(Estimate, WorkedExamples) {
  // 2 x 2, all marginals 1: 4 x (1/(2 pi))^(1/2) x sqrt(2), pi as a 4-byte real.
  EXPECT_EQ(estimate({1, 1}, {1, 1}), 2.2567582f);
  // 2 x 3, rows 5 and 12, columns 3, 7, 7: the columns are the longer side.
  EXPECT_EQ(estimate({5, 12}, {3, 7, 7}), 17.690639f);
  // 3 x 3, all marginals 10.
  EXPECT_EQ(estimate({10, 10, 10}, {10, 10, 10}), 2438.5361f);
  // Very unequal marginals give an estimate below 1/3.
  const float unequal = estimate({1, 1, 19998}, {1, 1, 19998});
  EXPECT_GT(unequal, 0.2f);
  EXPECT_LT(unequal, 1.0f / 3.0f);
}

TEST(Estimate, BeyondTheFourByteRangeIsInfinityNeverNaN) {
  // 100 x 100 with every marginal 200: far more tables than any real can hold;
  // exp() of the binomial sum overflows while the other factor underflows.
  const std::vector<int16_t> margins(100, 200);
  const float value = estimate(margins, margins);
  EXPECT_FALSE(std::isnan(value));
  EXPECT_TRUE(std::isinf(value));
  EXPECT_GT(value, 0.0f);
  // Large but representable estimates keep the plain arithmetic.
  const float moderate = estimate(std::vector<int16_t>(6, 12), std::vector<int16_t>(6, 12));
  EXPECT_TRUE(std::isfinite(moderate));
  EXPECT_GT(moderate, 1e6f);
}

}  // namespace
}  // namespace rxc
