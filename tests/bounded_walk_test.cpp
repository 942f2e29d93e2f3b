// The bounded walk against the full one where the whole sessions seldom take
// it: option A's tracking pass on margins whose third-last cell loops over
// many blocks, so that stretches of blocks are skipped at once; and progress
// marks so close together that several fall among the tables of one skipped
// subtree or block, which must reach the console at the table counts of the
// full walk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "base/memory_budget.h"
#include "dialogue/console_progress.h"
#include "engine/kernel/enumeration.h"
#include "engine/option_a/extreme_tables.h"
#include "engine/option_a/option_a_passes.h"
#include "engine/problem/problem.h"
#include "engine/problem/progress.h"
#include "engine/stores/table_store.h"
#include "records/record_writer.h"
#include "support/reference_enumeration.h"

namespace rxc {
namespace {

using testing::randomComposition;
using testing::runReferencePass;

// --- Option A's tracking pass ---

struct Tracked {
  TrackingOutcome outcome;
  MemoryBudget memory;
  TableStore high, low;
};

FirstPassOutcome firstPass(const Problem& problem) {
  ProgressBar silent{};
  return runFirstPass(problem, silent);
}

void acquireStores(const Problem& problem, int64_t capacity, Tracked& run) {
  const int cells = problem.r * problem.c;
  ASSERT_TRUE(run.high.acquire(run.memory, capacity, cells));
  ASSERT_TRUE(run.low.acquire(run.memory, capacity, cells));
}

void track(const Problem& problem, ExtremeOption choice, int64_t capacity, PassOptions options,
           Tracked& run) {
  acquireStores(problem, capacity, run);
  ProgressBar silent{};
  run.outcome = runTrackingPass(problem, choice, firstPass(problem), run.high, run.low, capacity,
                                silent, options);
}

// Hands every table of the reference enumeration to the tracking step: no
// guard, no screen, no skip.
struct EveryTableTracked {
  template <class Table>
  bool visit(double logProb, const Table& table) {
    tracker->take(logProb, TableView(table));
    return true;
  }
  ExtremeTracker* tracker;
};

void trackByReference(const Problem& problem, ExtremeOption choice, int64_t capacity,
                      Tracked& run) {
  acquireStores(problem, capacity, run);
  const FirstPassOutcome first = firstPass(problem);
  ExtremeTracking start;
  start.modeLogProb = first.modeLogProb;
  start.minLogProb = first.minLogProb;
  ExtremeTracker tracker(choice, start, run.high, run.low, capacity);
  EveryTableTracked visitor{&tracker};
  ProgressBar silent{};
  run.outcome.tableCount = runReferencePass(problem, silent, visitor).tableCount;
  run.outcome.extremes = start;
  tracker.storeInto(run.outcome.extremes);
}

void expectSameTracking(const Tracked& a, const Tracked& b, int cells, const char* what) {
  SCOPED_TRACE(what);
  const ExtremeTracking& x = a.outcome.extremes;
  const ExtremeTracking& y = b.outcome.extremes;
  EXPECT_EQ(a.outcome.tableCount, b.outcome.tableCount);
  EXPECT_EQ(x.modeLogProb, y.modeLogProb);
  EXPECT_EQ(x.minLogProb, y.minLogProb);
  EXPECT_EQ(x.modeCount, y.modeCount);
  EXPECT_EQ(x.minCount, y.minCount);
  ASSERT_EQ(x.modeKept, y.modeKept);
  ASSERT_EQ(x.minKept, y.minKept);
  for (int32_t k = 1; k <= x.modeKept; ++k) {
    EXPECT_TRUE(std::equal(a.high.slot(k), a.high.slot(k) + cells, b.high.slot(k)))
        << "modal slot " << k;
  }
  for (int32_t k = 1; k <= x.minKept; ++k) {
    EXPECT_TRUE(std::equal(a.low.slot(k), a.low.slot(k) + cells, b.low.slot(k)))
        << "minimum slot " << k;
  }
}

// The bounded pass, the full one and the reference on one thread.
void expectTrackingAsTheFullWalk(const Problem& problem, ExtremeOption choice, int64_t capacity) {
  const int cells = problem.r * problem.c;
  Tracked bounded, full, reference;
  track(problem, choice, capacity, PassOptions{}, bounded);
  PassOptions visitEvery;
  visitEvery.bounded = false;
  track(problem, choice, capacity, visitEvery, full);
  trackByReference(problem, choice, capacity, reference);
  expectSameTracking(bounded, full, cells, "bounded against full");
  expectSameTracking(bounded, reference, cells, "bounded against the reference");
  EXPECT_GT(bounded.outcome.extremes.modeCount + bounded.outcome.extremes.minCount, 0.0);
}

struct StretchCase {
  std::vector<int16_t> rows, cols;
  ExtremeOption choice;
  const char* what;
};

// Margins on which the third-last cell's loop (shapes compiled with r and c
// as constants) holds ten blocks or more, many of them skipped whole: after
// such a block the pass looks for the stretch of blocks that its least
// settles. Found by counting, in an instrumented build, what that search
// decided: each case takes the path named.
const StretchCase kStretchCases[] = {
    {{10, 15, 24}, {16, 13, 20}, ExtremeOption::kBoth, "the rest of a loop, and stretches"},
    {{17, 13, 34}, {20, 24, 20}, ExtremeOption::kModal, "the rest of a loop, and stretches"},
    {{20, 15, 20}, {27, 16, 12}, ExtremeOption::kModal, "sixteen stretches"},
    {{15, 21, 15},
     {21, 13, 17},
     ExtremeOption::kBoth,
     "stretches; a least that has risen, but the loop's greatest outside the range"},
    {{8, 13, 16}, {19, 9, 9}, ExtremeOption::kMinimum, "searches that find no stretch"},
    {{15, 15},
     {1, 1, 1, 1, 1, 1, 11, 4, 8, 1},
     ExtremeOption::kModal,
     "one interior row: forty stretches"},
    {{1, 1, 1, 1, 1, 1, 12, 9, 4, 1},
     {16, 16},
     ExtremeOption::kMinimum,
     "one interior column: searches that find no stretch"},
};

TEST(BoundedTracking, StretchesOfSkippedBlocksLeaveThePassAsTheFullWalk) {
  for (const StretchCase& c : kStretchCases) {
    const Problem problem = makeProblem(c.rows, c.cols);
    SCOPED_TRACE(problem.dimText + ": " + c.what);
    expectTrackingAsTheFullWalk(problem, c.choice, 1000);
    // Groups larger than the stores: counted past what is kept.
    expectTrackingAsTheFullWalk(problem, c.choice, 1);
  }
}

std::string marginsText(const Problem& problem) {
  std::string text = "rows";
  for (int16_t margin : problem.rowMargin) text += " " + std::to_string(margin);
  text += ", columns";
  for (int16_t margin : problem.colMargin) text += " " + std::to_string(margin);
  return text;
}

// `parts` margins adding up to `total`, none below half an even share.
std::vector<int16_t> balancedMargins(std::mt19937& random, int total, int parts) {
  for (;;) {
    std::vector<int16_t> margins = randomComposition(random, total, parts);
    if (*std::min_element(margins.begin(), margins.end()) * parts * 2 >= total) return margins;
  }
}

// 3 x 3 with grand totals from 36 to 60 and no small margin: loops long
// enough for stretches.
TEST(BoundedTracking, RandomLongLoopsLeaveThePassAsTheFullWalk) {
  std::mt19937 random(90210);
  for (int round = 0; round < 8; ++round) {
    const int n = 36 + static_cast<int>(random() % 25);
    const Problem problem =
        makeProblem(balancedMargins(random, n, 3), balancedMargins(random, n, 3));
    const auto choice = static_cast<ExtremeOption>(1 + random() % 3);
    const int64_t capacity = round % 3 == 0 ? 2 : 1000;
    SCOPED_TRACE("round " + std::to_string(round) + ": " + marginsText(problem));
    expectTrackingAsTheFullWalk(problem, choice, capacity);
  }
}

// --- Progress marks among the tables counted without a visit ---

// A progress bar whose marks, 10 % to 90 %, are due at the table counts given,
// as close together as wanted (the program's own bar puts them 1.2 million
// tables apart or more), written by the program's console display. Each mark
// keeps the table count it was reached at and how many tables had been
// visited by then.
class DenseMarks {
 public:
  DenseMarks(std::vector<uint64_t> dueAt, const uint64_t* visited)
      : due_(std::move(dueAt)),
        visited_(visited),
        console_(text_, StreamStyle::kConsole),
        display_(console_) {}

  uint64_t nextMarkAt() const {
    return next_ < due_.size() ? due_[next_] : std::numeric_limits<uint64_t>::max();
  }
  void reach(uint64_t tableCount) {
    if (next_ >= due_.size() || tableCount < due_[next_]) return;
    display_.mark(10 * static_cast<int>(next_ + 1));
    reachedAt.push_back(tableCount);
    visitedAt.push_back(*visited_);
    ++next_;
  }
  std::string text() const { return text_.str(); }

  std::vector<uint64_t> reachedAt;
  std::vector<uint64_t> visitedAt;

 private:
  std::vector<uint64_t> due_;
  size_t next_ = 0;
  const uint64_t* visited_;
  std::ostringstream text_;
  RecordWriter console_;
  ConsoleProgress display_;
};

// Where the marks due at `due` fall when the tables are counted one by one:
// at the first table at or past their count, at most one a table, none past
// the last table.
std::vector<uint64_t> marksCountedOneByOne(const std::vector<uint64_t>& due, uint64_t tables) {
  std::vector<uint64_t> at;
  uint64_t last = 0;
  for (uint64_t d : due) {
    const uint64_t table = std::max(d, last + 1);
    if (table > tables) break;
    at.push_back(table);
    last = table;
  }
  return at;
}

std::string markText(size_t marks) {
  std::string text;
  for (size_t k = 1; k <= marks; ++k) text += "****" + std::to_string(10 * k) + "%";
  return text;
}

// Counts the tables a visitor is handed, and passes on its screens.
template <class Inner>
struct CountingVisitor {
  static constexpr bool kNeedsLogProb = true;
  static constexpr bool kScreensEachTable = enumeration_detail::screensEachTable<Inner>();
  NoOpRanges noOpRanges() const { return inner.noOpRanges(); }
  template <class Table>
  bool visit(double logProb, const Table& table) {
    ++visited;
    return inner.visit(logProb, table);
  }
  Inner inner;
  uint64_t visited = 0;
};

// The tables outside [low, high] are no-ops, as for options B and C; with
// low > high every table is.
struct Band {
  NoOpRanges noOpRanges() const {
    NoOpRanges noOp;
    noOp.ranges[0] = {-kLargestLog, low};
    noOp.ranges[1] = {high, kLargestLog};
    return noOp;
  }
  template <class Table>
  bool visit(double, const Table&) {
    return true;
  }
  double low, high;
};

// 3 x 3 with its third-last cell's loop, or any other shape read at run time.
template <class Visitor>
uint64_t walk(const Problem& problem, bool bounded, DenseMarks& marks, Visitor& visitor) {
  PassOptions options;
  options.bounded = bounded;
  if (problem.r == 3 && problem.c == 3) {
    return enumeration_detail::Kernel<3, 3>(problem, options).run(marks, visitor).tableCount;
  }
  return enumeration_detail::Kernel<0, 0>(problem, options).run(marks, visitor).tableCount;
}

// Nine marks due close together from a random table on (some repeated, some
// past the last table), or at the very first tables.
std::vector<uint64_t> denseMarks(std::mt19937& random, uint64_t tables) {
  uint64_t at = random() % 8 == 0 ? 1 : 1 + random() % (tables + 4);
  std::vector<uint64_t> due;
  for (int k = 0; k < 9; ++k) {
    due.push_back(at);
    at += random() % 3;
  }
  return due;
}

struct MarkedWalk {
  uint64_t tables = 0;
  std::string text;
  std::vector<uint64_t> reachedAt;
  std::vector<uint64_t> visitedAt;
};

template <class Visitor>
MarkedWalk markedWalk(const Problem& problem, bool bounded, const std::vector<uint64_t>& due,
                      Visitor visitor) {
  DenseMarks marks(due, &visitor.visited);
  MarkedWalk walked;
  walked.tables = walk(problem, bounded, marks, visitor);
  walked.text = marks.text();
  walked.reachedAt = marks.reachedAt;
  walked.visitedAt = marks.visitedAt;
  return walked;
}

// Whether three marks in a row were reached with no table visited among them:
// they fell among tables counted without a visit.
bool threeMarksUnvisited(const MarkedWalk& walked) {
  for (size_t k = 2; k < walked.visitedAt.size(); ++k) {
    if (walked.visitedAt[k - 2] == walked.visitedAt[k] &&
        walked.reachedAt[k] > walked.reachedAt[k - 2] + 1) {
      return true;
    }
  }
  return false;
}

// Option A's tracking (which skips single tables, runs, blocks, stretches of
// blocks and subtrees), a narrow band as for options B and C, and a band
// that nothing meets (whole subtrees counted): the marks' text and the table
// counts they are written at are those of the full walk and of counting the
// tables one by one.
TEST(BoundedWalkProgress, MarksAmongSkippedTablesFallWhereTheFullWalkPutsThem) {
  std::mt19937 random(5150);
  const char* const kWalks[] = {"option A", "a band", "nothing meets the band"};
  int clustered[3] = {0, 0, 0};
  for (int round = 0; round < 60; ++round) {
    std::vector<int16_t> rows, cols;
    if (round % 3 == 0) {
      const int n = 30 + static_cast<int>(random() % 20);
      rows = randomComposition(random, n, 3);
      cols = randomComposition(random, n, 3);
    } else {
      const int r = 3 + static_cast<int>(random() % 2), c = 4 + static_cast<int>(random() % 2);
      testing::randomMargins(random, r, c, r * c >= 20 ? 2 : 3, rows, cols);
    }
    const Problem problem = makeProblem(rows, cols);
    uint64_t tables = 0;
    {
      DenseMarks none({}, &tables);
      CountingVisitor<Band> counting{{1.0, 0.0}, 0};
      tables = walk(problem, false, none, counting);
    }
    const std::vector<uint64_t> due = denseMarks(random, tables);
    const std::vector<uint64_t> expected = marksCountedOneByOne(due, tables);
    SCOPED_TRACE("round " + std::to_string(round) + ": " + problem.dimText + ", " +
                 std::to_string(tables) + " tables, first mark due at " + std::to_string(due[0]));
    auto expectMarks = [&](const MarkedWalk& bounded, const MarkedWalk& full, int kind) {
      SCOPED_TRACE(kWalks[kind]);
      EXPECT_EQ(bounded.tables, tables);
      EXPECT_EQ(full.tables, tables);
      EXPECT_EQ(bounded.reachedAt, expected);
      EXPECT_EQ(full.reachedAt, expected);
      EXPECT_EQ(bounded.text, markText(expected.size()));
      EXPECT_EQ(bounded.text, full.text);
      if (threeMarksUnvisited(bounded)) ++clustered[kind];
    };

    const FirstPassOutcome first = firstPass(problem);
    ExtremeTracking start;
    start.modeLogProb = first.modeLogProb;
    start.minLogProb = first.minLogProb;
    auto optionA = [&](bool bounded) {
      MemoryBudget memory;
      TableStore high, low;
      const int cells = problem.r * problem.c;
      EXPECT_TRUE(high.acquire(memory, 5, cells));
      EXPECT_TRUE(low.acquire(memory, 5, cells));
      ExtremeTracker tracker(ExtremeOption::kBoth, start, high, low, 5);
      return markedWalk(problem, bounded, due,
                        CountingVisitor<ExtremeVisitor>{ExtremeVisitor(tracker), 0});
    };
    expectMarks(optionA(true), optionA(false), 0);

    // A band around the middle of the log-probabilities of a few tables.
    const double lowEnd = first.minLogProb, highEnd = first.modeLogProb;
    const double mid = lowEnd + (highEnd - lowEnd) * (0.3 + 0.4 * (random() % 100) / 100.0);
    const Band narrow{mid - 0.05, mid + 0.05};
    expectMarks(markedWalk(problem, true, due, CountingVisitor<Band>{narrow, 0}),
                markedWalk(problem, false, due, CountingVisitor<Band>{narrow, 0}), 1);
    const Band nothing{1.0, 0.0};
    expectMarks(markedWalk(problem, true, due, CountingVisitor<Band>{nothing, 0}),
                markedWalk(problem, false, due, CountingVisitor<Band>{nothing, 0}), 2);
  }
  // Three marks or more among the tables of one stretch counted without a
  // visit, for each kind of walk.
  for (int kind = 0; kind < 3; ++kind) EXPECT_GE(clustered[kind], 20) << kWalks[kind];
}

}  // namespace
}  // namespace rxc
