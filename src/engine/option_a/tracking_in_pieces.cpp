#include "engine/option_a/tracking_in_pieces.h"

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

// The maximum and minimum as the thread that runs the tracking step last
// published them, for workers that walk later pieces of the pass.
struct PublishedExtremes {
  std::atomic<double> modeLogProb{0.0};
  std::atomic<double> minLogProb{0.0};

  void publish(const ExtremeTracker& tracker) {
    modeLogProb.store(tracker.modeLogProb(), std::memory_order_relaxed);
    minLogProb.store(tracker.minLogProb(), std::memory_order_relaxed);
  }
};

// A worker's sink in a tracking pass split into pieces: it hands on every
// table that the tracking step could act on, and nothing else. Whatever the
// tracking step has done with earlier tables, its maximum is at least the
// last one published, and at least the low end of the band of each table it
// has seen (a table that raised it set it to its own value, one that tied
// left it within its band, one below it left it above); likewise its minimum
// is at most the last one published and the high end of each band. A table
// below the guard of that floor of the maximum and above the guard of that
// ceiling of the minimum can change nothing. (The tables the visitor keeps
// back lie between the guards it was given, so only those handed on can move
// the floor and the ceiling of those seen.)
class ExtremeCandidates final : public ExtremeSink {
 public:
  ExtremeCandidates(ExtremeOption choice, const PublishedExtremes& published,
                    CandidateStream& stream)
      : tracked_(choice), published_(published), stream_(stream) {}

  ExtremeGuards guards() const override {
    const double maxFloor =
        std::max(seenFloor_, published_.modeLogProb.load(std::memory_order_relaxed));
    const double minCeiling =
        std::min(seenCeiling_, published_.minLogProb.load(std::memory_order_relaxed));
    return {tracked_.lowGuard(minCeiling), tracked_.highGuard(maxFloor)};
  }

  ExtremeGuards take(double logProb, const TableView& table) override {
    const LogBand band = toleranceBand(logProb);
    seenFloor_ = std::max(seenFloor_, band.low);
    seenCeiling_ = std::min(seenCeiling_, band.high);
    stream_.add(logProb, table);
    return guards();
  }

 private:
  TrackedGroups tracked_;
  const PublishedExtremes& published_;
  CandidateStream& stream_;
  double seenFloor_ = -std::numeric_limits<double>::infinity();
  double seenCeiling_ = std::numeric_limits<double>::infinity();
};

}  // namespace

uint64_t trackInPieces(const Problem& problem, ExtremeOption choice, ExtremeTracker& tracker,
                       ProgressBar& progress, PassOptions options) {
  const int cells = problem.r * problem.c;
  PassOptions pieceOptions = options;
  pieceOptions.workers = 1;
  uint64_t tables = 0;
  // The first pieces on this thread alone, with the tracking step itself.
  auto ownSkipper = makeSkipper(problem);
  ExtremeVisitor tracking(tracker);
  const PiecePlan rest = walkPiecesAlone(problem, options, [&](const Piece& piece) {
    ProgressBar silent;
    const uint64_t n =
        runPiece(problem, silent, tracking, pieceOptions, piece, ownSkipper.get()).tableCount;
    progress.pass(tables, tables + n);
    tables += n;
  });
  if (rest.prefixes.empty()) return tables;

  PublishedExtremes published;
  published.publish(tracker);
  std::vector<std::unique_ptr<enumeration_detail::SubtreeSkipper>> skippers(
      static_cast<size_t>(options.workers));
  skippers[0] = std::move(ownSkipper);  // its memo of counts is warm
  struct PieceCount {
    uint64_t tables = 0;
  };
  PieceRunner<PieceCount>::run(
      rest, options.workers, cells, options.threadStarter,
      [&](int worker, size_t piece, PieceCount& result, CandidateStream& stream) {
        auto& skipper = skippers[static_cast<size_t>(worker)];
        if (!skipper) skipper = makeSkipper(problem);
        ExtremeCandidates candidates(choice, published, stream);
        ExtremeVisitor visitor(candidates);
        ProgressBar silent;
        const Piece p{rest.depth, rest.prefix(piece)};
        result.tables =
            runPiece(problem, silent, visitor, pieceOptions, p, skipper.get()).tableCount;
      },
      [&](size_t, const CandidateBatch& batch) {
        for (size_t k = 0; k < batch.size(); ++k) {
          const StoredTable table{batch.cells(k), cells};
          tracker.take(batch.logProb(k), TableView(table));
        }
      },
      [&](size_t, const PieceCount& result) {
        progress.pass(tables, tables + result.tables);
        tables += result.tables;
        published.publish(tracker);
      });
  return tables;
}

}  // namespace rxc
