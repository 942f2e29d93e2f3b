// A pass split into pieces for several workers, as option A's tracking pass
// and the condition pass of options B and C run it: this thread walks the
// first pieces alone (PassOptions::aloneMicroseconds), running the pass's
// ordered steps itself; then workers walk the others and hand on the tables
// those steps could act on (piece_runner.h), and this thread runs the steps
// on them in generation order. The same results as the pass on one thread.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/kernel/enumeration.h"
#include "engine/kernel/table_view.h"
#include "engine/parallel/candidates.h"
#include "engine/parallel/piece_runner.h"
#include "engine/parallel/pieces.h"
#include "engine/problem/pass_options.h"
#include "engine/problem/problem.h"
#include "engine/problem/progress.h"

namespace rxc {
namespace split_pass_detail {

// Pieces enough to keep every worker busy while the pieces run ahead in order.
inline PiecePlan planForWorkers(const Problem& problem, int workers) {
  const size_t target = static_cast<size_t>(workers) * 64;
  return planPieces(problem, target, 100000, piecesDepthLimit(problem));
}

// Walks the first tables of the pass on the calling thread, in order, for
// options.aloneMicroseconds at most, in pieces of a coarse split (a few, so
// that a short pass pays for few piece starts; the piece under way is
// finished); walk(piece) walks one. Returns the pieces left for the workers,
// of a split fine enough to keep them busy (planForWorkers); none (an empty
// list of prefixes) when the pass has ended.
template <class Walk>
PiecePlan walkPiecesAlone(const Problem& problem, PassOptions options, Walk&& walk) {
  constexpr size_t kAlonePieces = 16;
  const PiecePlan coarse =
      planPieces(problem, kAlonePieces, kAlonePieces * 64, piecesDepthLimit(problem));
  const auto start = std::chrono::steady_clock::now();
  const auto budget = std::chrono::microseconds(options.aloneMicroseconds);
  size_t walked = 0;
  while (walked < coarse.count() && std::chrono::steady_clock::now() - start < budget) {
    walk(Piece{coarse.depth, coarse.prefix(walked)});
    ++walked;
  }
  if (coarse.depth == 0) {  // a pass that cannot be split is walked here whole
    if (walked == 0) walk(Piece{0, nullptr});
    return PiecePlan{1, {}};
  }
  if (walked == coarse.count()) return PiecePlan{1, {}};  // no piece left
  // The fine split is at least as deep as the coarse one. Its pieces that
  // begin with the next coarse piece's prefix come after every one that
  // begins with a prefix walked (both are in order), and there is at least
  // one: a prefix of a split has tables.
  const PiecePlan fine = planForWorkers(problem, options.workers);
  const auto next = coarse.prefix(walked);
  const auto depth = static_cast<size_t>(coarse.depth);
  size_t first = 0;
  while (first < fine.count() && !std::equal(next, next + depth, fine.prefix(first))) ++first;
  return fine.from(first);
}

// A subtree skipper for the pieces one worker walks: its memo of counts
// serves them all.
inline std::unique_ptr<enumeration_detail::SubtreeSkipper> makeSkipper(const Problem& problem) {
  const std::vector<int32_t> columns(problem.colMargin.begin(), problem.colMargin.end());
  return std::make_unique<enumeration_detail::SubtreeSkipper>(problem.r, problem.c, columns.data(),
                                                              (problem.r - 1) * (problem.c - 1));
}

struct PieceCount {
  uint64_t tables = 0;
};

}  // namespace split_pass_detail

// Runs the pass in pieces and returns its table count. `steps` is what the
// pass does beyond the walk, a type with:
//
//   // The pieces walked alone: calls walk(visitor) once, with a visitor that
//   // runs the ordered steps itself.
//   template <class Walk> void alone(Walk&& walk);
//   // Makes where the ordered steps stand known to the workers' visitors;
//   // called after the pieces walked alone and after each later piece.
//   void publish();
//   // One piece on worker `worker` (0 .. options.workers - 1, one thread at
//   // a time each): calls walk(visitor) once, with a visitor that hands on to
//   // `stream` every table the ordered steps could act on; returns what walk
//   // returns.
//   template <class Walk>
//   uint64_t onWorker(int worker, CandidateStream& stream, Walk&& walk);
//   // The ordered steps on one table handed on, on this thread, the tables
//   // in generation order.
//   void take(double logProb, const TableView& table);
template <class Steps>
uint64_t runSplitPass(const Problem& problem, Steps& steps, ProgressBar& progress,
                      PassOptions options) {
  using split_pass_detail::makeSkipper;
  const int cells = problem.r * problem.c;
  PassOptions pieceOptions = options;
  pieceOptions.workers = 1;
  uint64_t tables = 0;
  // The first pieces on this thread alone, with the ordered steps themselves.
  auto ownSkipper = makeSkipper(problem);
  PiecePlan rest;
  steps.alone([&](auto& visitor) {
    rest = split_pass_detail::walkPiecesAlone(problem, options, [&](const Piece& piece) {
      ProgressBar silent;
      const uint64_t n =
          runPiece(problem, silent, visitor, pieceOptions, piece, ownSkipper.get()).tableCount;
      progress.pass(tables, tables + n);
      tables += n;
    });
  });
  if (rest.prefixes.empty()) return tables;

  steps.publish();
  std::vector<std::unique_ptr<enumeration_detail::SubtreeSkipper>> skippers(
      static_cast<size_t>(options.workers));
  skippers[0] = std::move(ownSkipper);  // its memo of counts is warm
  using split_pass_detail::PieceCount;
  PieceRunner<PieceCount>::run(
      rest, options.workers, cells, options.threadStarter,
      [&](int worker, size_t piece, PieceCount& result, CandidateStream& stream) {
        auto& skipper = skippers[static_cast<size_t>(worker)];
        if (!skipper) skipper = makeSkipper(problem);
        const Piece p{rest.depth, rest.prefix(piece)};
        result.tables = steps.onWorker(worker, stream, [&](auto& visitor) {
          ProgressBar silent;
          return runPiece(problem, silent, visitor, pieceOptions, p, skipper.get()).tableCount;
        });
      },
      [&](size_t, const CandidateBatch& batch) {
        for (size_t k = 0; k < batch.size(); ++k) {
          const StoredTable table{batch.cells(k), cells};
          steps.take(batch.logProb(k), TableView(table));
        }
      },
      [&](size_t, const PieceCount& result) {
        progress.pass(tables, tables + result.tables);
        tables += result.tables;
        steps.publish();
      });
  return tables;
}

}  // namespace rxc
