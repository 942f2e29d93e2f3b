// The bounded enumeration against the full one: the same whole sessions, the
// same console and report, byte for byte.
#include <gtest/gtest.h>

#include <random>

#include "support/random_sessions.h"
#include "support/session_driver.h"

namespace rxc {
namespace {

TEST(BoundedEnumeration, WholeSessionsMatchTheFullEnumerationByteForByte) {
  std::mt19937 random(20261209);
  RunSettings full;
  full.boundedEnumeration = false;
  int completed = 0;
  for (int k = 0; k < 300; ++k) {
    const testing::RandomSession session = testing::randomSession(random);
    SCOPED_TRACE("session " + std::to_string(k) + ": " + session.description);
    const auto bounded = testing::runSession(session.input);
    const auto visited = testing::runSession(session.input, full);
    ASSERT_EQ(bounded.status, visited.status);
    ASSERT_EQ(bounded.console, visited.console);
    ASSERT_EQ(bounded.report, visited.report);
    if (bounded.status == 0) ++completed;
  }
  EXPECT_GE(completed, 290);  // the drawn dialogues run to their end
}

}  // namespace
}  // namespace rxc
