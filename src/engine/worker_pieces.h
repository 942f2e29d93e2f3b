// What every pass split among workers needs: how finely to split it, and a
// subtree skipper for each worker, kept across the pieces it walks.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/enumeration.h"
#include "engine/pieces.h"
#include "engine/problem.h"

namespace rxc {

// Pieces enough to keep every worker busy while the pieces run ahead in order.
inline PiecePlan planForWorkers(const Problem& problem, int workers) {
  const size_t target = static_cast<size_t>(workers) * 64;
  return planPieces(problem, target, 100000, piecesDepthLimit(problem));
}

// Walks the first tables of the pass on the calling thread, in order, for
// options.aloneMicroseconds at most, in pieces of a coarser split than `plan`
// (a few, so that a short pass pays for few piece starts; the piece under way
// is finished); walk(piece) walks one. Returns the index of the first piece of
// `plan` left to walk: plan.count() when the pass has ended.
template <class Walk>
size_t walkPiecesAlone(const Problem& problem, const PiecePlan& plan, PassOptions options,
                       Walk&& walk) {
  constexpr size_t kAlonePieces = 16;
  const PiecePlan coarse = planPieces(problem, kAlonePieces, kAlonePieces * 64, plan.depth);
  const auto start = std::chrono::steady_clock::now();
  const auto budget = std::chrono::microseconds(options.aloneMicroseconds);
  size_t walked = 0;
  while (walked < coarse.count() && std::chrono::steady_clock::now() - start < budget) {
    walk(Piece{coarse.depth, coarse.prefix(walked)});
    ++walked;
  }
  if (walked == coarse.count()) return plan.count();
  // The pieces of `plan` that begin with the next coarse piece's prefix come
  // after every one that begins with a prefix walked (both are in order), and
  // there is at least one: a prefix of a split has tables.
  const auto next = coarse.prefix(walked);
  const auto depth = static_cast<size_t>(coarse.depth);
  for (size_t k = 0; k < plan.count(); ++k) {
    if (std::equal(next, next + depth, plan.prefix(k))) return k;
  }
  return plan.count();  // not reached
}

inline std::unique_ptr<enumeration_detail::SubtreeSkipper> makeSkipper(const Problem& problem) {
  const std::vector<int32_t> columns(problem.colMargin.begin(), problem.colMargin.end());
  return std::make_unique<enumeration_detail::SubtreeSkipper>(problem.r, problem.c, columns.data(),
                                                              (problem.r - 1) * (problem.c - 1));
}

}  // namespace rxc
