// Progress pacing and marks, driven with small estimates and table counts
// instead of long runs.
#include "engine/problem/progress.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "dialogue/console_progress.h"
#include "records/record_writer.h"

namespace rxc {
namespace {

// Feeds table counts 1..count to the bar the way a pass does: reach() is
// called whenever the count gets to nextMarkAt().
void runTables(ProgressBar& bar, uint64_t count) {
  for (uint64_t t = 1; t <= count; ++t) {
    if (t >= bar.nextMarkAt()) bar.reach(t);
  }
}

struct Bar {
  explicit Bar(float estimate)
      : console(out, StreamStyle::kConsole), display(console), bar(estimate, &display) {
    bar.writeStart();
  }
  std::string finish() {
    bar.writeFinish();
    return out.str();
  }
  std::ostringstream out;
  RecordWriter console;
  ConsoleProgress display;
  ProgressBar bar;
};

// A console stream that keeps, at every flush, what had reached it by then.
class FlushRecorder : public std::stringbuf {
 public:
  std::vector<std::string> seenAtFlush;

 protected:
  int sync() override {
    seenAtFlush.push_back(str());
    return 0;
  }
};

TEST(Progress, TheStartAndEveryMarkReachTheConsoleAtOnce) {
  // The bar's line stays open while the pass runs; without a flush nothing of
  // it would show on a terminal until the pass ended.
  FlushRecorder buffer;
  std::ostream out(&buffer);
  RecordWriter console(out, StreamStyle::kConsole);
  ConsoleProgress display(console);
  ProgressBar bar(20000000.0f, &display);  // a mark every 1.6 million tables
  console.list({" Progreso de los calculos:"});
  bar.writeStart();
  ASSERT_EQ(buffer.seenAtFlush.size(), 1u);
  EXPECT_EQ(buffer.seenAtFlush[0], "  Progreso de los calculos:\n 0%");
  runTables(bar, 3300000);
  ASSERT_EQ(buffer.seenAtFlush.size(), 3u);
  EXPECT_EQ(buffer.seenAtFlush[1], "  Progreso de los calculos:\n 0%****10%");
  EXPECT_EQ(buffer.seenAtFlush[2], "  Progreso de los calculos:\n 0%****10%****20%");
}

TEST(Progress, BelowAMillionOnlyTheEndOrTheFarMarkAtFortyMillion) {
  Bar few(500000.0f);
  runTables(few.bar, 600000);
  EXPECT_EQ(few.finish(), " 0%****100%\n");
  Bar many(10.0f);
  EXPECT_EQ(many.bar.nextMarkAt(), 40000000u);
  many.bar.reach(39999999);
  many.bar.reach(40000000);
  EXPECT_EQ(many.finish(), " 0%****50%****100%\n");
}

TEST(Progress, FromAMillionMarksFiftyPercentAtFortyPercentOfTheEstimate) {
  for (uint64_t estimate : {1000000u, 2000000u, 10000000u}) {
    Bar b(static_cast<float>(estimate));
    const uint64_t mark = estimate * 2 / 5;
    EXPECT_EQ(b.bar.nextMarkAt(), mark) << estimate;
    runTables(b.bar, mark - 1);
    EXPECT_EQ(b.out.str(), " 0%") << estimate;
    runTables(b.bar, estimate);
    EXPECT_EQ(b.finish(), " 0%****50%****100%\n") << estimate;
  }
}

TEST(Progress, LargeEstimatesMarkEveryTenPercent) {
  Bar b(15000000.0f);  // a mark every 1200000 tables
  EXPECT_EQ(b.bar.nextMarkAt(), 1200000u);
  for (uint64_t k = 1; k <= 9; ++k) {
    b.bar.reach(k * 1200000 - 1);  // one short: no mark
    b.bar.reach(k * 1200000);
  }
  b.bar.reach(1000000000);  // far beyond: nothing after 90 %
  EXPECT_EQ(b.finish(),
            " 0%****10%****20%****30%****40%****50%****60%****70%****80%****90%****100%\n");
}

TEST(Progress, ARestartedPassContinuesTheLineWithoutRepeatingMarks) {
  Bar b(15000000.0f);
  runTables(b.bar, 2500000);  // first pass: 10 % and 20 %
  runTables(b.bar, 3700000);  // second pass from 1: 30 % only
  EXPECT_EQ(b.finish(), " 0%****10%****20%****30%****100%\n");
}

TEST(Progress, AtMostOneMarkPerTable) {
  Bar b(15000000.0f);
  b.bar.reach(10000000);  // past several thresholds at once
  b.bar.reach(10000001);
  EXPECT_EQ(b.finish(), " 0%****10%****20%****100%\n");
}

TEST(Progress, InfiniteEstimateWritesNoIntermediateMark) {
  Bar b(std::numeric_limits<float>::infinity());
  EXPECT_EQ(b.bar.nextMarkAt(), std::numeric_limits<uint64_t>::max());
  EXPECT_EQ(b.finish(), " 0%****100%\n");
}

}  // namespace
}  // namespace rxc
