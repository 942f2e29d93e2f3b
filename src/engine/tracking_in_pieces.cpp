#include "engine/tracking_in_pieces.h"

#include <memory>
#include <vector>

#include "engine/candidates.h"
#include "engine/enumeration.h"
#include "engine/piece_runner.h"
#include "engine/worker_pieces.h"

namespace rxc {

uint64_t trackInPieces(const Problem& problem, const PiecePlan& plan, ExtremeOption choice,
                       ExtremeTrackingVisitor& tracking, const ExtremeTracking& initial,
                       ProgressBar& progress, PassOptions options) {
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
        ExtremeCandidateVisitor<CandidateStream> visitor(choice, published, stream);
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
  return tables;
}

}  // namespace rxc
