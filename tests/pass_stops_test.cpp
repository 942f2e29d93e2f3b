// A pass on several workers that stops: a fatal stop on the calling thread,
// while it walks the first pieces alone or runs the ordered steps on what the
// workers hand on, or in a worker's piece. The pass ends with the stop that
// comes first in the order of the tables, as on one thread, every thread it
// started has ended, and a worker held back at the limit of what it may hold
// for a later piece goes on when its piece's turn comes, or ends when the pass
// stops.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "base/fatal_stop.h"
#include "base/memory_budget.h"
#include "engine/kernel/enumeration.h"
#include "engine/option_a/option_a_passes.h"
#include "engine/parallel/candidates.h"
#include "engine/parallel/piece_runner.h"
#include "engine/parallel/pieces.h"
#include "engine/problem/problem.h"
#include "engine/problem/progress.h"
#include "engine/stores/table_store.h"

namespace rxc {
namespace {

// Starts threads as std::thread does, or refuses every start as a system
// short of processes does, and counts the threads whose work has returned.
class CountingStarter final : public ThreadStarter {
 public:
  explicit CountingStarter(bool refuseEvery = false) : refuseEvery_(refuseEvery) {}

  std::thread start(std::function<void()> body) override {
    if (refuseEvery_) {
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
    ++started_;
    return std::thread([this, body = std::move(body)] {
      body();
      ended_.fetch_add(1);
    });
  }

  int started() const { return started_; }
  int ended() const { return ended_.load(); }

 private:
  bool refuseEvery_;
  int started_ = 0;  // on the pass's calling thread only
  std::atomic<int> ended_{0};
};

// The message of the fatal stop that `pass` ends with; "none" when it ends
// normally.
template <class Pass>
std::string stopOf(Pass&& pass) {
  try {
    pass();
  } catch (const FatalStop& stop) {
    return stop.reportMessage;
  }
  return "none";
}

// --- The piece runner on its own ---

constexpr int kCells = 2;  // a candidate's cells: its piece and its number
constexpr size_t kNoStop = static_cast<size_t>(-1);

// What reached the calling thread.
struct Delivered {
  std::vector<std::pair<size_t, int16_t>> candidates;  // (piece, number)
  std::vector<size_t> finished;
  bool cellsMatch = true;  // each candidate came with its piece's cells
};

// Twelve pieces of 100 candidates each; the worker that walks piece
// `workerStop` stops at its 80th, and the ordered steps stop at the first
// candidate of piece `stepsStop`.
std::string runPieces(int workers, CountingStarter& starter, size_t workerStop, size_t stepsStop,
                      Delivered& delivered) {
  constexpr size_t kPieces = 12;
  constexpr int kPerPiece = 100;
  constexpr int kWorkerStopAt = 80;
  struct PieceResult {
    int handedOn = 0;
  };
  const PiecePlan plan{1, std::vector<int16_t>(kPieces, 0)};
  return stopOf([&] {
    PieceRunner<PieceResult>::run(
        plan, workers, kCells, &starter,
        [&](int, size_t piece, PieceResult& result, CandidateStream& stream) {
          for (int k = 0; k < kPerPiece; ++k) {
            if (piece == workerStop && k == kWorkerStopAt)
              stopRun("worker " + std::to_string(piece));
            const int16_t cells[kCells] = {static_cast<int16_t>(piece), static_cast<int16_t>(k)};
            stream.add(static_cast<double>(k), StoredTable{cells, kCells});
            ++result.handedOn;
          }
        },
        [&](size_t piece, const CandidateBatch& batch) {
          if (piece == stepsStop) stopRun("steps " + std::to_string(piece));
          for (size_t k = 0; k < batch.size(); ++k) {
            delivered.cellsMatch = delivered.cellsMatch &&
                                   batch.cells(k)[0] == static_cast<int16_t>(piece) &&
                                   batch.logProb(k) == batch.cells(k)[1];
            delivered.candidates.emplace_back(piece, batch.cells(k)[1]);
          }
        },
        [&](size_t piece, const PieceResult& result) {
          delivered.cellsMatch = delivered.cellsMatch && result.handedOn == kPerPiece;
          delivered.finished.push_back(piece);
        });
  });
}

// Every piece before `stop` delivered whole and finished, in order; of piece
// `stop`, at most the candidates handed on before its worker stopped
// (`partial`), in order; nothing after it.
void expectDeliveredUpTo(const Delivered& delivered, size_t stop, bool partial) {
  EXPECT_TRUE(delivered.cellsMatch);
  std::vector<size_t> finished;
  for (size_t piece = 0; piece < stop; ++piece) finished.push_back(piece);
  EXPECT_EQ(delivered.finished, finished);
  const size_t whole = stop * 100;
  ASSERT_GE(delivered.candidates.size(), whole);
  EXPECT_LE(delivered.candidates.size(), whole + (partial ? 80 : 0));
  for (size_t k = 0; k < delivered.candidates.size(); ++k) {
    ASSERT_EQ(delivered.candidates[k],
              (std::pair<size_t, int16_t>{k / 100, static_cast<int16_t>(k % 100)}))
        << "candidate " << k;
  }
}

// A stop in a worker's piece reaches the calling thread at that piece's turn,
// after every earlier piece; a stop in the ordered steps stops the workers,
// whatever failed in a later piece. The same on the calling thread alone,
// when no thread can start.
TEST(Workers, TheStopFirstInTheOrderOfThePiecesEndsTheRunner) {
  struct Case {
    size_t workerStop, stepsStop;
  };
  const Case cases[] = {{kNoStop, kNoStop}, {0, kNoStop}, {3, kNoStop}, {11, kNoStop}, {kNoStop, 0},
                        {kNoStop, 4},       {2, 6},       {6, 2},       {5, 5}};
  for (int workers : {2, 7}) {
    for (bool refuse : {false, true}) {
      for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(workers) + " workers" + (refuse ? ", none started" : "") +
                     ", worker stop at piece " + std::to_string(static_cast<int>(c.workerStop)) +
                     ", steps stop at piece " + std::to_string(static_cast<int>(c.stepsStop)));
        CountingStarter starter(refuse);
        Delivered delivered;
        const std::string stop = runPieces(workers, starter, c.workerStop, c.stepsStop, delivered);
        EXPECT_EQ(starter.started(), refuse ? 0 : workers);
        EXPECT_EQ(starter.ended(), starter.started());
        // The ordered steps reach a piece's first candidates before its worker
        // stops at its 80th.
        if (c.workerStop == kNoStop && c.stepsStop == kNoStop) {
          EXPECT_EQ(stop, "none");
          expectDeliveredUpTo(delivered, 12, false);
        } else if (c.stepsStop <= c.workerStop) {
          EXPECT_EQ(stop, "steps " + std::to_string(c.stepsStop));
          expectDeliveredUpTo(delivered, c.stepsStop, false);
        } else {
          EXPECT_EQ(stop, "worker " + std::to_string(c.workerStop));
          expectDeliveredUpTo(delivered, c.workerStop, true);
        }
      }
    }
  }
}

// Piece 1 hands on more than a worker may hold back while piece 0 is being
// consumed: its worker stops adding at the limit, until piece 0 is done (then
// every candidate arrives in order), or until the steps stop on piece 0 (then
// the held-back worker ends with the pass).
TEST(Workers, AWorkerHeldBackAtTheLimitGoesOnAtItsTurnOrEndsWithTheStop) {
  constexpr size_t kCandidateBytes = sizeof(double) + kCells * sizeof(int16_t);
  constexpr size_t kAtLimit = (kHeldBackBytes + kCandidateBytes - 1) / kCandidateBytes;
  constexpr size_t kOverLimit = kAtLimit + 5000;
  const size_t perPiece[] = {1, kOverLimit, 1};
  const PiecePlan plan{1, std::vector<int16_t>(3, 0)};
  struct PieceResult {};
  for (bool stopOnPiece0 : {false, true}) {
    SCOPED_TRACE(stopOnPiece0 ? "steps stop on piece 0" : "no stop");
    CountingStarter starter;
    std::atomic<size_t> addedToPiece1{0};
    size_t heldAt = 0;
    std::vector<size_t> received(3, 0);
    bool inOrder = true;
    const std::string stop = stopOf([&] {
      PieceRunner<PieceResult>::run(
          plan, 2, kCells, &starter,
          [&](int, size_t piece, PieceResult&, CandidateStream& stream) {
            for (size_t k = 0; k < perPiece[piece]; ++k) {
              if (piece == 1) addedToPiece1.fetch_add(1);
              const int16_t cells[kCells] = {static_cast<int16_t>(piece),
                                             static_cast<int16_t>(k % 1000)};
              stream.add(static_cast<double>(k), StoredTable{cells, kCells});
            }
          },
          [&](size_t piece, const CandidateBatch& batch) {
            if (piece == 0 && heldAt == 0) {
              // No worker can stop adding before this many candidates; once
              // it has, it stops at the limit, where it stays.
              while (addedToPiece1.load() < kAtLimit) std::this_thread::yield();
              size_t seen = 0;
              while (seen != addedToPiece1.load()) {
                seen = addedToPiece1.load();
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
              }
              heldAt = seen;
              if (stopOnPiece0) stopRun("steps");
            }
            for (size_t k = 0; k < batch.size(); ++k) {
              inOrder = inOrder && batch.cells(k)[0] == static_cast<int16_t>(piece) &&
                        batch.logProb(k) == static_cast<double>(received[piece]);
              ++received[piece];
            }
          },
          [&](size_t piece, const PieceResult&) {
            inOrder = inOrder && received[piece] == perPiece[piece];
          });
    });
    EXPECT_GE(heldAt, kAtLimit);
    EXPECT_LT(heldAt, kOverLimit);  // held back, not done
    EXPECT_EQ(starter.started(), 2);
    EXPECT_EQ(starter.ended(), 2);
    EXPECT_TRUE(inOrder);
    if (stopOnPiece0) {
      EXPECT_EQ(stop, "steps");
      EXPECT_EQ(received[1], 0u);
    } else {
      EXPECT_EQ(stop, "none");
      EXPECT_EQ(received, (std::vector<size_t>{1, kOverLimit, 1}));
    }
  }
}

// --- Option A's tracking pass ---

// Tables of 2 x 20 whose first column (2 tables) is split 1 and 1 tie the
// maximum; the others, the first table among them, tie the minimum.
const std::vector<int16_t> kTieRows{10, 11};
const std::vector<int16_t> kTieColumns{2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
constexpr int64_t kKeptSlots = 4096;

struct StoppedTracking {
  std::string stop;
  MemoryBudget memory;
  TableStore high, low;
  explicit StoppedTracking(uint64_t budget) : memory(budget) {}
};

// The tracking pass on the tied margins, with a budget that lets the minimum's
// store grow to kKeptSlots tables and no further: the table after them stops
// the run, on the thread that runs the tracking step.
void trackTies(PassOptions options, StoppedTracking& run) {
  const Problem problem = makeProblem(kTieRows, kTieColumns);
  const int cells = problem.r * problem.c;
  ProgressBar silent{};
  const FirstPassOutcome first = runFirstPass(problem, silent);
  ASSERT_TRUE(first.differs);
  ASSERT_TRUE(run.high.acquire(run.memory, 100000, cells));
  ASSERT_TRUE(run.low.acquire(run.memory, 100000, cells));
  run.stop = stopOf([&] {
    runTrackingPass(problem, ExtremeOption::kBoth, first, run.high, run.low, 100000, silent,
                    options);
  });
}

uint64_t budgetForTies() {
  // Growing to kKeptSlots holds the old block and the new one at once.
  const uint64_t slotBytes = static_cast<uint64_t>(kTieRows.size() * kTieColumns.size()) * 2;
  return (TableStore::kFirstSlots + kKeptSlots / 2 + kKeptSlots) * slotBytes;
}

TEST(Workers, AStopInTheTrackingStepEndsThePassAsOnOneThread) {
  StoppedTracking one(budgetForTies());
  trackTies(PassOptions{}, one);
  ASSERT_EQ(one.stop, kMemoryFailureMessage);
  ASSERT_EQ(one.low.slotsHeld(), kKeptSlots);
  const int cells = one.low.cellsPerTable();
  auto expectKeptAsOnOne = [&](const StoppedTracking& run) {
    EXPECT_EQ(run.stop, kMemoryFailureMessage);
    ASSERT_EQ(run.low.slotsHeld(), kKeptSlots);
    for (int64_t k = 1; k <= kKeptSlots; ++k) {
      ASSERT_TRUE(std::equal(run.low.slot(k), run.low.slot(k) + cells, one.low.slot(k)))
          << "slot " << k;
    }
  };
  for (int workers : {2, 7}) {
    SCOPED_TRACE(std::to_string(workers) + " workers");
    {
      SCOPED_TRACE("every piece on the workers, the tracking step on this thread");
      CountingStarter starter;
      StoppedTracking run(budgetForTies());
      trackTies(PassOptions{true, workers, 0, &starter}, run);
      expectKeptAsOnOne(run);
      EXPECT_EQ(starter.started(), workers);
      EXPECT_EQ(starter.ended(), workers);
    }
    {
      SCOPED_TRACE("this thread walking the first pieces alone");
      CountingStarter starter;
      StoppedTracking run(budgetForTies());
      trackTies(PassOptions{true, workers, 60000000, &starter}, run);
      expectKeptAsOnOne(run);
      EXPECT_EQ(starter.started(), 0);
    }
    {
      SCOPED_TRACE("no thread started: this thread walking every piece");
      CountingStarter starter(true);
      StoppedTracking run(budgetForTies());
      trackTies(PassOptions{true, workers, 0, &starter}, run);
      expectKeptAsOnOne(run);
    }
  }
}

// Margins whose totals disagree (30 and 31) fail the corner check at the
// first table of every piece: the workers' stop reaches the calling thread,
// which ends the pass with it, as on one thread.
TEST(Workers, AWorkersStopEndsTheTrackingPassAsOnOneThread) {
  const Problem problem = makeProblem({10, 11, 9}, {12, 9, 10});
  const int cells = problem.r * problem.c;
  FirstPassOutcome first;
  first.differs = true;
  first.modeLogProb = -1.0;
  first.minLogProb = -20.0;
  auto track = [&](PassOptions options) {
    MemoryBudget memory;
    TableStore high, low;
    EXPECT_TRUE(high.acquire(memory, 100, cells));
    EXPECT_TRUE(low.acquire(memory, 100, cells));
    ProgressBar silent{};
    return stopOf([&] {
      runTrackingPass(problem, ExtremeOption::kBoth, first, high, low, 100, silent, options);
    });
  };
  const std::string one = track(PassOptions{});
  EXPECT_EQ(one, enumeration_detail::kCornerMessage);
  for (int workers : {2, 7}) {
    SCOPED_TRACE(std::to_string(workers) + " workers");
    CountingStarter starter;
    EXPECT_EQ(track(PassOptions{true, workers, 0, &starter}), one);
    EXPECT_EQ(starter.started(), workers);
    EXPECT_EQ(starter.ended(), workers);
  }
}

}  // namespace
}  // namespace rxc
