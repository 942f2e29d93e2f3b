// The passes split among workers against the same passes on one thread: every
// result, every kept table and the order of the kept lists, for 2 and 7
// workers. The order-dependent steps (the raises of the largest accepted
// log-probability, the kept lists) see only the tables the workers hand on, so
// a filter that holds back one table they could act on shows here.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <new>
#include <random>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "base/memory_budget.h"
#include "engine/condition/condition_pass.h"
#include "engine/option_a/option_a_passes.h"
#include "engine/parallel/piece_runner.h"
#include "engine/problem/problem.h"
#include "engine/stores/kept_tables.h"
#include "support/reference_enumeration.h"
#include "support/request_bounds.h"

namespace rxc {
namespace {

using testing::typedBound;

// Under a sanitizer, a quarter of the rounds: enough for races and faults to
// show, at a fraction of the run time.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr int kRoundsDivisor = 4;
#else
constexpr int kRoundsDivisor = 1;
#endif

using testing::randomMargins;
using testing::runReferencePass;

// The log-probabilities of a pass, for bounds drawn among them.
struct LogProbs {
  template <class Table>
  bool visit(double logProb, const Table&) {
    values->push_back(logProb);
    return true;
  }
  std::vector<double>* values;
};

// Shapes with at least three interior positions, so that the pass splits.
Problem randomSplittableProblem(std::mt19937& random, std::vector<double>& logProbs) {
  static const int kShapes[][2] = {{3, 3}, {3, 4}, {4, 3}, {2, 5}, {5, 2}, {4, 4}};
  const auto& shape = kShapes[random() % std::size(kShapes)];
  const int r = shape[0], c = shape[1];
  std::vector<int16_t> rows, cols;
  randomMargins(random, r, c, r * c >= 16 ? 2 : 4, rows, cols);
  Problem problem = makeProblem(rows, cols);
  logProbs.clear();
  LogProbs listing{&logProbs};
  ProgressBar progress{};
  runReferencePass(problem, progress, listing);
  return problem;
}

// With 2 workers every piece runs on them; with 7 the calling thread first
// walks a piece or so alone (for 1 microsecond), then hands the rest on.
int aloneFor(int workers) { return workers == 2 ? 0 : 1; }

bool sameCells(const TableStore& a, const TableStore& b, int32_t slot, int cells) {
  return std::equal(a.slot(slot), a.slot(slot) + cells, b.slot(slot));
}

// What a condition pass leaves: its outcome and the kept lists, slot by slot.
struct ConditionRun {
  ConditionOutcome outcome;
  MemoryBudget memory;
  KeptTables kept;
};

void runCondition(const Problem& problem, const ConditionRequest& request, PassOptions options,
                  ConditionRun& run) {
  run.kept = acquireKeptTables(run.memory, problem, request, 1.0f);
  ProgressBar progress{};
  // The enumeration's walk, split among the workers (the network walk runs
  // on one thread).
  options.networkWalk = false;
  run.outcome = runConditionPass(problem, request, run.kept, progress, options);
}

void runCondition(const Problem& problem, const ConditionRequest& request, int workers,
                  ConditionRun& run) {
  runCondition(problem, request, PassOptions{true, workers, aloneFor(workers)}, run);
}

void expectSameConditionRun(const ConditionRun& a, const ConditionRun& b, int cells) {
  EXPECT_EQ(a.outcome.tableCount, b.outcome.tableCount);
  EXPECT_EQ(a.outcome.count, b.outcome.count);
  EXPECT_EQ(a.outcome.sum, b.outcome.sum);
  EXPECT_EQ(a.outcome.maxLog, b.outcome.maxLog);
  EXPECT_EQ(a.outcome.maxRaises, b.outcome.maxRaises);
  EXPECT_EQ(a.outcome.tinyProbability, b.outcome.tinyProbability);
  const KeptList<MoreProbable>& xHigh = a.kept.lists.high;
  const KeptList<MoreProbable>& yHigh = b.kept.lists.high;
  const KeptList<LessProbable>& xLow = a.kept.lists.low;
  const KeptList<LessProbable>& yLow = b.kept.lists.low;
  ASSERT_EQ(xHigh.kept(), yHigh.kept());
  ASSERT_EQ(xLow.kept(), yLow.kept());
  EXPECT_EQ(xHigh.head(), yHigh.head());
  EXPECT_EQ(xHigh.tail(), yHigh.tail());
  EXPECT_EQ(xLow.head(), yLow.head());
  EXPECT_EQ(xLow.tail(), yLow.tail());
  for (int32_t k = 1; k <= xHigh.kept(); ++k) {
    EXPECT_EQ(xHigh.next(k), yHigh.next(k)) << "high slot " << k;
    EXPECT_EQ(xHigh.logProb(k), yHigh.logProb(k)) << "high slot " << k;
    EXPECT_EQ(xHigh.orderedSlot(k), yHigh.orderedSlot(k)) << "high slot " << k;
    EXPECT_TRUE(sameCells(a.kept.highTables, b.kept.highTables, k, cells)) << "high slot " << k;
  }
  for (int32_t k = 1; k <= xLow.kept(); ++k) {
    EXPECT_EQ(xLow.next(k), yLow.next(k)) << "low slot " << k;
    EXPECT_EQ(xLow.logProb(k), yLow.logProb(k)) << "low slot " << k;
    EXPECT_TRUE(sameCells(a.kept.lowTables, b.kept.lowTables, k, cells)) << "low slot " << k;
  }
}

TEST(Workers, ConditionPassOnSeveralWorkersIsThePassOnOne) {
  std::mt19937 random(15);
  std::vector<double> logProbs;
  for (int round = 0; round < 80 / kRoundsDivisor; ++round) {
    const Problem problem = randomSplittableProblem(random, logProbs);
    auto pick = [&] { return std::exp(logProbs[random() % logProbs.size()]); };
    ConditionRequest request;
    request.inclusive = random() % 2 == 0;
    const double a = pick(), b = pick();
    request.lower = typedBound(random() % 3 == 0 ? 0.0 : std::min(a, b));
    request.upper = typedBound(std::max(a, b));
    const int32_t counts[] = {0, 1, 3, 20};
    request.t1 = counts[random() % 4];
    request.t2 = counts[random() % 4];
    SCOPED_TRACE("round " + std::to_string(round) + ": " + problem.dimText + ", T1 " +
                 std::to_string(request.t1) + ", T2 " + std::to_string(request.t2));
    ConditionRun one;
    runCondition(problem, request, 1, one);
    for (int workers : {2, 7}) {
      ConditionRun several;
      runCondition(problem, request, workers, several);
      expectSameConditionRun(one, several, problem.r * problem.c);
    }
  }
}

struct TrackingRun {
  TrackingOutcome outcome;
  MemoryBudget memory;
  TableStore high, low;
};

void runTracking(const Problem& problem, ExtremeOption choice, PassOptions options,
                 TrackingRun& run) {
  const int cells = problem.r * problem.c;
  ASSERT_TRUE(run.high.acquire(run.memory, 1000, cells));
  ASSERT_TRUE(run.low.acquire(run.memory, 1000, cells));
  ProgressBar progress{};
  const FirstPassOutcome first = runFirstPass(problem, progress);
  run.outcome = runTrackingPass(problem, choice, first, run.high, run.low, 1000, progress, options);
}

void runTracking(const Problem& problem, ExtremeOption choice, int workers, TrackingRun& run) {
  runTracking(problem, choice, PassOptions{true, workers, aloneFor(workers)}, run);
}

void expectSameTrackingRun(const TrackingRun& a, const TrackingRun& b, int cells) {
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
    EXPECT_TRUE(sameCells(a.high, b.high, k, cells)) << "modal slot " << k;
  }
  for (int32_t k = 1; k <= x.minKept; ++k) {
    EXPECT_TRUE(sameCells(a.low, b.low, k, cells)) << "minimum slot " << k;
  }
}

TEST(Workers, TrackingPassOnSeveralWorkersIsThePassOnOne) {
  std::mt19937 random(16);
  std::vector<double> logProbs;
  for (int round = 0; round < 60 / kRoundsDivisor; ++round) {
    const Problem problem = randomSplittableProblem(random, logProbs);
    const auto choice = static_cast<ExtremeOption>(1 + random() % 3);
    SCOPED_TRACE("round " + std::to_string(round) + ": " + problem.dimText);
    TrackingRun one;
    runTracking(problem, choice, 1, one);
    for (int workers : {2, 7}) {
      TrackingRun several;
      runTracking(problem, choice, workers, several);
      expectSameTrackingRun(one, several, problem.r * problem.c);
    }
  }
}

// Starts threads as std::thread does, but refuses the starts chosen, as a
// system short of processes (std::system_error) or of memory (std::bad_alloc)
// refuses them.
class RefusingStarter final : public ThreadStarter {
 public:
  enum class Refuse { kFirst, kSecond, kEvery };

  RefusingStarter(Refuse refuse, bool outOfMemory) : refuse_(refuse), outOfMemory_(outOfMemory) {}

  std::thread start(std::function<void()> body) override {
    ++attempts_;
    if (refuse_ == Refuse::kEvery || (refuse_ == Refuse::kFirst && attempts_ == 1) ||
        (refuse_ == Refuse::kSecond && attempts_ == 2)) {
      if (outOfMemory_) throw std::bad_alloc();
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
    ++started_;
    return std::thread(std::move(body));
  }

  int attempts() const { return attempts_; }
  int started() const { return started_; }

 private:
  Refuse refuse_;
  bool outOfMemory_;
  int attempts_ = 0;  // called on the pass's calling thread only
  int started_ = 0;
};

const RefusingStarter::Refuse kRefusals[] = {RefusingStarter::Refuse::kFirst,
                                             RefusingStarter::Refuse::kSecond,
                                             RefusingStarter::Refuse::kEvery};

int startsLeft(RefusingStarter::Refuse refuse, int workers) {
  return refuse == RefusingStarter::Refuse::kEvery ? 0 : workers - 1;
}

// A pass whose threads the system will not all start runs on those that do,
// or on the calling thread alone, with the results of the pass on one thread.
TEST(Workers, PassesGoOnWhenThreadsCannotStart) {
  std::mt19937 random(17);
  std::vector<double> logProbs;
  for (int round = 0; round < 16 / kRoundsDivisor; ++round) {
    const Problem problem = randomSplittableProblem(random, logProbs);
    const int cells = problem.r * problem.c;
    ConditionRequest request;
    request.lower = typedBound(0.0);
    request.upper = typedBound(std::exp(logProbs[random() % logProbs.size()]));
    request.t1 = 3;
    request.t2 = 3;
    const auto choice = static_cast<ExtremeOption>(1 + random() % 3);
    ConditionRun oneCondition;
    runCondition(problem, request, 1, oneCondition);
    TrackingRun oneTracking;
    runTracking(problem, choice, 1, oneTracking);
    for (const auto refuse : kRefusals) {
      for (int workers : {2, 7}) {
        const bool outOfMemory = (round + workers) % 2 == 0;
        SCOPED_TRACE("round " + std::to_string(round) + ": " + problem.dimText + ", " +
                     std::to_string(workers) + " workers, refusal " +
                     std::to_string(static_cast<int>(refuse)) +
                     (outOfMemory ? ", out of memory" : ", no process left"));
        RefusingStarter conditionStarter(refuse, outOfMemory);
        ConditionRun condition;
        runCondition(problem, request, PassOptions{true, workers, 0, &conditionStarter}, condition);
        expectSameConditionRun(oneCondition, condition, cells);
        EXPECT_EQ(conditionStarter.attempts(), workers);
        EXPECT_EQ(conditionStarter.started(), startsLeft(refuse, workers));

        RefusingStarter trackingStarter(refuse, outOfMemory);
        TrackingRun tracking;
        runTracking(problem, choice, PassOptions{true, workers, 0, &trackingStarter}, tracking);
        expectSameTrackingRun(oneTracking, tracking, cells);
        EXPECT_EQ(trackingStarter.attempts(), workers);
      }
    }
  }
}

// The runner on its own, with pieces that hand on far more candidates than a
// worker may hold back: with every start refused, the calling thread walks
// the pieces itself and takes their candidates as they come (waiting for the
// hold-back limit to clear would never end); with one worker, that worker
// holds back the next piece and goes on when its turn comes. Either way every
// candidate and every piece's end reach the calling thread in order.
TEST(Workers, RunnerHandsOnEveryPieceInOrderWhateverStarts) {
  constexpr int kCells = 4;
  constexpr size_t kPieces = 5;
  // Over the hold-back limit: a double and kCells cells a candidate.
  constexpr size_t kPerPiece = kHeldBackBytes / (sizeof(double) + kCells * sizeof(int16_t)) + 999;
  const PiecePlan plan{1, std::vector<int16_t>(kPieces, 0)};
  struct PieceSum {
    size_t candidates = 0;
  };
  for (const auto refuse : {RefusingStarter::Refuse::kEvery, RefusingStarter::Refuse::kSecond}) {
    SCOPED_TRACE("refusal " + std::to_string(static_cast<int>(refuse)));
    RefusingStarter starter(refuse, false);
    size_t consumedPiece = 0, consumed = 0, finished = 0;
    bool inOrder = true;
    PieceRunner<PieceSum>::run(
        plan, 2, kCells, &starter,
        [&](int, size_t piece, PieceSum& result, CandidateStream& stream) {
          int16_t cells[kCells] = {static_cast<int16_t>(piece), 0, 0, 0};
          for (size_t k = 0; k < kPerPiece; ++k) {
            cells[1] = static_cast<int16_t>(k % 1000);
            stream.add(static_cast<double>(k), StoredTable{cells, kCells});
          }
          result.candidates = kPerPiece;
        },
        [&](size_t piece, const CandidateBatch& batch) {
          for (size_t k = 0; k < batch.size(); ++k) {
            const size_t expected = consumed - consumedPiece * kPerPiece;
            inOrder = inOrder && piece == consumedPiece &&
                      batch.logProb(k) == static_cast<double>(expected) &&
                      batch.cells(k)[0] == static_cast<int16_t>(piece) &&
                      batch.cells(k)[1] == static_cast<int16_t>(expected % 1000);
            ++consumed;
          }
        },
        [&](size_t piece, const PieceSum& result) {
          inOrder = inOrder && piece == finished && result.candidates == kPerPiece &&
                    consumed == (piece + 1) * kPerPiece;
          ++finished;
          consumedPiece = finished;
        });
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(finished, kPieces);
    EXPECT_EQ(consumed, kPieces * kPerPiece);
    EXPECT_EQ(starter.started(), refuse == RefusingStarter::Refuse::kEvery ? 0 : 1);
  }
}

}  // namespace
}  // namespace rxc
