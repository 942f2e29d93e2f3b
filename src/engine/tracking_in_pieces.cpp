#include "engine/tracking_in_pieces.h"

#include <memory>
#include <vector>

#include "engine/candidates.h"
#include "engine/enumeration.h"
#include "engine/piece_runner.h"
#include "engine/worker_pieces.h"

namespace rxc {

uint64_t trackInPieces(const Problem& problem, ExtremeOption choice,
                       ExtremeTrackingVisitor& tracking, ProgressBar& progress,
                       PassOptions options) {
  const int cells = problem.r * problem.c;
  PassOptions pieceOptions = options;
  pieceOptions.workers = 1;
  uint64_t tables = 0;
  // The first pieces on this thread alone, with the tracking step itself.
  auto ownSkipper = makeSkipper(problem);
  const PiecePlan rest = walkPiecesAlone(problem, options, [&](const Piece& piece) {
    ProgressBar silent;
    const uint64_t n =
        runPiece(problem, silent, tracking, pieceOptions, piece, ownSkipper.get()).tableCount;
    progress.pass(tables, tables + n);
    tables += n;
  });
  if (rest.prefixes.empty()) return tables;

  PublishedExtremes published;
  published.modeLogProb.store(tracking.modeLogProb());
  published.minLogProb.store(tracking.minLogProb());
  std::vector<std::unique_ptr<enumeration_detail::SubtreeSkipper>> skippers(
      static_cast<size_t>(options.workers));
  skippers[0] = std::move(ownSkipper);  // its memo of counts is warm
  struct PieceCount {
    uint64_t tables = 0;
  };
  PieceRunner<PieceCount>::run(
      rest, options.workers, cells,
      [&](int worker, size_t piece, PieceCount& result, CandidateStream& stream) {
        auto& skipper = skippers[static_cast<size_t>(worker)];
        if (!skipper) skipper = makeSkipper(problem);
        ExtremeCandidateVisitor<CandidateStream> visitor(choice, published, stream);
        ProgressBar silent;
        const Piece p{rest.depth, rest.prefix(piece)};
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
