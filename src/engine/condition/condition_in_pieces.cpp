#include "engine/condition/condition_in_pieces.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <memory>
#include <vector>

#include "base/tolerance.h"
#include "engine/kernel/enumeration.h"
#include "engine/parallel/candidates.h"
#include "engine/parallel/piece_runner.h"
#include "engine/parallel/worker_pieces.h"

namespace rxc {

namespace {

// What the ordered steps last published for the workers after a piece.
struct PublishedSteps {
  std::atomic<double> maxLog{0.0};
  std::atomic<double> highFloor{0.0};
  std::atomic<double> lowCeiling{0.0};

  void publish(const OrderedSteps& steps) {
    maxLog.store(steps.maxLog(), std::memory_order_relaxed);
    highFloor.store(steps.selector().highListFloor(), std::memory_order_relaxed);
    lowCeiling.store(steps.selector().lowListCeiling(), std::memory_order_relaxed);
  }
};

// A worker's sink for the accepted tables: hands on those the ordered steps
// could act on. Whatever those steps have done with earlier tables, the
// largest log-probability is at least the last one published, and at least
// the low end of the band of each accepted table before this one in the piece
// (a table that raised it set it to its own value; one that did not left it
// above its band's low end); a table whose band's low end is not above that
// floor raises nothing. The kept lists take only what their published floor
// and ceiling let in (TableSelector::highListFloor). An accepted table that
// the visitor does not hand on lies below the floor it was given, so only
// the tables handed on can raise the floor of those seen.
class CandidateFilter final : public AcceptedTableSink {
 public:
  CandidateFilter(const PublishedSteps& published, CandidateStream& stream)
      : published_(published), stream_(stream) {}

  StepThresholds thresholds() const override {
    return {std::max(seenFloor_, published_.maxLog.load(std::memory_order_relaxed)),
            published_.highFloor.load(std::memory_order_relaxed),
            published_.lowCeiling.load(std::memory_order_relaxed)};
  }

  StepThresholds take(double logProb, LogBand band, const TableView& table) override {
    seenFloor_ = std::max(seenFloor_, band.low);
    stream_.add(logProb, table);
    return thresholds();
  }

 private:
  const PublishedSteps& published_;
  CandidateStream& stream_;
  double seenFloor_ = -std::numeric_limits<double>::infinity();
};

struct PieceCount {
  uint64_t tables = 0;
};

}  // namespace

PiecesTotals acceptInPieces(const Problem& problem, AcceptedRange range, OrderedSteps& steps,
                            ProgressBar& progress, PassOptions options) {
  const int cells = problem.r * problem.c;
  PassOptions pieceOptions = options;
  pieceOptions.workers = 1;
  PiecesTotals totals;
  PiecePlan rest;
  // The first pieces on this thread alone, with the ordered steps themselves.
  auto ownSkipper = makeSkipper(problem);
  {
    ConditionVisitor visitor(range, steps);
    rest = walkPiecesAlone(problem, options, [&](const Piece& piece) {
      ProgressBar silent;
      const uint64_t n =
          runPiece(problem, silent, visitor, pieceOptions, piece, ownSkipper.get()).tableCount;
      progress.pass(totals.tableCount, totals.tableCount + n);
      totals.tableCount += n;
    });
    totals.count = visitor.count();
    totals.sum = visitor.sum();
    if (rest.prefixes.empty()) return totals;
  }

  PublishedSteps published;
  published.publish(steps);
  const auto workers = static_cast<size_t>(options.workers);
  std::vector<std::unique_ptr<enumeration_detail::SubtreeSkipper>> skippers(workers);
  skippers[0] = std::move(ownSkipper);  // its memo of counts is warm
  // Each worker's count and exact sum over all of its pieces: neither depends
  // on the order of the tables, and exact sums merge exactly.
  std::vector<int64_t> counts(workers, 0);
  std::vector<ExactSum> sums(workers);
  uint64_t tables = totals.tableCount;
  PieceRunner<PieceCount>::run(
      rest, options.workers, cells, options.threadStarter,
      [&](int worker, size_t piece, PieceCount& result, CandidateStream& stream) {
        const auto w = static_cast<size_t>(worker);
        if (!skippers[w]) skippers[w] = makeSkipper(problem);
        CandidateFilter filter(published, stream);
        ConditionVisitor visitor(range, filter);
        ProgressBar silent;
        const Piece p{rest.depth, rest.prefix(piece)};
        result.tables =
            runPiece(problem, silent, visitor, pieceOptions, p, skippers[w].get()).tableCount;
        counts[w] += visitor.count();
        sums[w].merge(visitor.sum());
      },
      [&](size_t, const CandidateBatch& batch) {
        for (size_t k = 0; k < batch.size(); ++k) {
          const double logProb = batch.logProb(k);
          const StoredTable table{batch.cells(k), cells};
          steps.take(logProb, toleranceBand(logProb), TableView(table));
        }
      },
      [&](size_t, const PieceCount& result) {
        progress.pass(tables, tables + result.tables);
        tables += result.tables;
        published.publish(steps);
      });
  totals.tableCount = tables;
  for (size_t w = 0; w < workers; ++w) {
    totals.count += counts[w];
    totals.sum.merge(sums[w]);
  }
  return totals;
}

}  // namespace rxc
