// The bounded enumeration against the full one: the same whole sessions, the
// same console and report, byte for byte.
#include <gtest/gtest.h>

#include <random>

#include "support/random_sessions.h"
#include "support/session_driver.h"
#include "support/soak.h"

namespace rxc {
namespace {

TEST(BoundedEnumeration, WholeSessionsMatchTheFullEnumerationByteForByte) {
  const testing::Soak soak = testing::soak(300, 20261209);
  std::mt19937 random(soak.seed);
  RunSettings bounded;
  bounded.workers = 1;
  RunSettings full = bounded;
  full.boundedEnumeration = false;
  int completed = 0;
  for (int k = 0; k < soak.rounds; ++k) {
    const testing::RandomSession session = testing::randomSession(random);
    SCOPED_TRACE("session " + std::to_string(k) + ": " + session.description);
    const auto skipping = testing::runSession(session.input, bounded);
    const auto visited = testing::runSession(session.input, full);
    ASSERT_EQ(skipping.status, visited.status);
    ASSERT_EQ(skipping.console, visited.console);
    ASSERT_EQ(skipping.report, visited.report);
    if (skipping.status == 0) ++completed;
  }
  EXPECT_GE(completed * 30, soak.rounds * 29);  // the drawn dialogues run to their end
}

// Under a sanitizer, a quarter of the sessions: enough for races and faults
// to show, at a fraction of the run time.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr int kWorkerSessions = 20;
#else
constexpr int kWorkerSessions = 80;
#endif

// The same sessions on one worker and on several: the same bytes.
TEST(Workers, WholeSessionsMatchOneWorkerByteForByte) {
  std::mt19937 random(7031);
  for (int k = 0; k < kWorkerSessions; ++k) {
    const testing::RandomSession session = testing::randomSession(random);
    SCOPED_TRACE("session " + std::to_string(k) + ": " + session.description);
    RunSettings settings;
    settings.workers = 1;
    settings.aloneMicroseconds = 0;  // every piece on the workers
    const auto one = testing::runSession(session.input, settings);
    for (int workers : {2, 7}) {
      settings.workers = workers;
      const auto several = testing::runSession(session.input, settings);
      ASSERT_EQ(several.status, one.status) << workers << " workers";
      ASSERT_EQ(several.console, one.console) << workers << " workers";
      ASSERT_EQ(several.report, one.report) << workers << " workers";
    }
  }
}

}  // namespace
}  // namespace rxc
