// What every pass split among workers needs: how finely to split it, and a
// subtree skipper for each worker, kept across the pieces it walks.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/kernel/enumeration.h"
#include "engine/parallel/pieces.h"
#include "engine/problem/problem.h"

namespace rxc {

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

inline std::unique_ptr<enumeration_detail::SubtreeSkipper> makeSkipper(const Problem& problem) {
  const std::vector<int32_t> columns(problem.colMargin.begin(), problem.colMargin.end());
  return std::make_unique<enumeration_detail::SubtreeSkipper>(problem.r, problem.c, columns.data(),
                                                              (problem.r - 1) * (problem.c - 1));
}

}  // namespace rxc
