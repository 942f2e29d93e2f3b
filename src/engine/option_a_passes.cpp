#include "engine/option_a_passes.h"

#include <memory>
#include <vector>

#include "base/tolerance.h"
#include "engine/candidates.h"
#include "engine/enumeration.h"
#include "engine/piece_runner.h"
#include "engine/pieces.h"

namespace rxc {

namespace {

// A subtree skipper for a worker, kept across the pieces it walks.
std::unique_ptr<enumeration_detail::SubtreeSkipper> makeSkipper(const Problem& problem) {
  const std::vector<int32_t> columns(problem.colMargin.begin(), problem.colMargin.end());
  return std::make_unique<enumeration_detail::SubtreeSkipper>(problem.r, problem.c, columns.data(),
                                                              (problem.r - 1) * (problem.c - 1));
}

// Pieces enough to keep every worker busy while the pieces run ahead in order.
PiecePlan planFor(const Problem& problem, int workers) {
  const size_t target = static_cast<size_t>(workers) * 64;
  return planPieces(problem, target, 100000, piecesDepthLimit(problem));
}

// Reads the first table's log-probability and stops the pass there.
struct FirstTableProbe {
  static constexpr bool kNeedsLogProb = true;
  double logProb = 0.0;

  template <class Table>
  bool visit(double tableLogProb, const Table&) {
    logProb = tableLogProb;
    return false;
  }
};

// The per-table work of the first pass: every table is compared with the first
// one through its own band, and the pass stops at the first that differs.
class FirstPassVisitor {
 public:
  static constexpr bool kNeedsLogProb = true;

  explicit FirstPassVisitor(double firstLogProb) : modeLogProb_(firstLogProb) {}

  template <class Table>
  bool visit(double logProb, const Table&) {
    const LogBand band = toleranceBand(logProb);
    if (band.high < modeLogProb_) {
      minLogProb_ = logProb;
    } else if (band.low > modeLogProb_) {
      minLogProb_ = modeLogProb_;
      modeLogProb_ = logProb;
    } else {
      return true;
    }
    differs_ = true;
    return false;
  }

  bool differs() const { return differs_; }
  double modeLogProb() const { return modeLogProb_; }
  double minLogProb() const { return minLogProb_; }

 private:
  double modeLogProb_;
  double minLogProb_ = 0.0;
  bool differs_ = false;
};

// The tracking pass split into pieces: workers hand on the tables the
// tracking step could act on; this thread runs the step on them in order and
// publishes the maximum and minimum it reaches after each piece.
template <ExtremeOption kChoice>
TrackingOutcome trackInPieces(const Problem& problem, const PiecePlan& plan,
                              const ExtremeTracking& initial, TableStore& highTables,
                              TableStore& lowTables, int64_t capacity, ProgressBar& progress,
                              PassOptions options) {
  ExtremeTrackingVisitor<kChoice> tracking(initial, highTables, lowTables, capacity);
  PublishedExtremes published;
  published.modeLogProb.store(initial.modeLogProb);
  published.minLogProb.store(initial.minLogProb);
  const int cells = problem.r * problem.c;
  std::vector<std::unique_ptr<enumeration_detail::SubtreeSkipper>> skippers(
      static_cast<size_t>(options.workers));
  PassOptions pieceOptions = options;
  pieceOptions.workers = 1;
  uint64_t tables = 0;
  struct PieceCount {
    uint64_t tables = 0;
  };
  PieceRunner<PieceCount>::run(
      plan, options.workers, cells,
      [&](int worker, size_t piece, PieceCount& result, CandidateStream& stream) {
        auto& skipper = skippers[static_cast<size_t>(worker)];
        if (!skipper) skipper = makeSkipper(problem);
        ExtremeCandidateVisitor<kChoice, CandidateStream> visitor(published, stream);
        ProgressBar silent;
        const Piece p{plan.depth, plan.prefix(piece)};
        result.tables =
            runPiece(problem, silent, visitor, pieceOptions, p, skipper.get()).tableCount;
      },
      [&](size_t, const CandidateBatch& batch) {
        for (size_t k = 0; k < batch.size(); ++k) {
          tracking.visit(batch.logProb(k), StoredTable{batch.cells(k), cells});
        }
      },
      [&](size_t, const PieceCount& result) {
        progress.pass(tables, tables + result.tables);
        tables += result.tables;
        published.modeLogProb.store(tracking.modeLogProb(), std::memory_order_relaxed);
        published.minLogProb.store(tracking.minLogProb(), std::memory_order_relaxed);
      });
  TrackingOutcome outcome;
  outcome.tableCount = tables;
  outcome.extremes = initial;
  tracking.storeInto(outcome.extremes);
  return outcome;
}

template <ExtremeOption kChoice>
TrackingOutcome track(const Problem& problem, const FirstPassOutcome& start, TableStore& highTables,
                      TableStore& lowTables, int64_t capacity, ProgressBar& progress,
                      PassOptions options) {
  ExtremeTracking initial;
  initial.modeLogProb = start.modeLogProb;
  initial.minLogProb = start.minLogProb;
  if (options.workers > 1) {
    const PiecePlan plan = planFor(problem, options.workers);
    if (plan.count() > 1) {
      return trackInPieces<kChoice>(problem, plan, initial, highTables, lowTables, capacity,
                                    progress, options);
    }
  }
  ExtremeTrackingVisitor<kChoice> visitor(initial, highTables, lowTables, capacity);
  TrackingOutcome outcome;
  outcome.tableCount = runPass(problem, progress, visitor, options).tableCount;
  outcome.extremes = initial;
  visitor.storeInto(outcome.extremes);
  return outcome;
}

}  // namespace

FirstPassOutcome runFirstPass(const Problem& problem, ProgressBar& progress) {
  // The first table is read ahead so that the pass itself has no "is this the
  // first table" test. The probe writes nothing: no progress mark can fall on
  // the first table, and a mark never repeats in any case.
  FirstTableProbe probe;
  runPassAnyShape(problem, progress, probe);

  FirstPassVisitor visitor(probe.logProb);
  const PassResult result = runPassAnyShape(problem, progress, visitor);
  FirstPassOutcome outcome;
  outcome.differs = visitor.differs();
  outcome.modeLogProb = visitor.modeLogProb();
  outcome.minLogProb = visitor.differs() ? visitor.minLogProb() : visitor.modeLogProb();
  outcome.tableCount = result.tableCount;
  return outcome;
}

TrackingOutcome runTrackingPass(const Problem& problem, ExtremeOption extremeOption,
                                const FirstPassOutcome& start, TableStore& highTables,
                                TableStore& lowTables, int64_t capacity, ProgressBar& progress,
                                PassOptions options) {
  switch (extremeOption) {
    case ExtremeOption::kModal:
      return track<ExtremeOption::kModal>(problem, start, highTables, lowTables, capacity, progress,
                                          options);
    case ExtremeOption::kMinimum:
      return track<ExtremeOption::kMinimum>(problem, start, highTables, lowTables, capacity,
                                            progress, options);
    case ExtremeOption::kBoth:
      break;
  }
  return track<ExtremeOption::kBoth>(problem, start, highTables, lowTables, capacity, progress,
                                     options);
}

}  // namespace rxc
