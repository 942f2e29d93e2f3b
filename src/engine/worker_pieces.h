// What every pass split among workers needs: how finely to split it, and a
// subtree skipper for each worker, kept across the pieces it walks.
#pragma once

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

// Runs pieces of `plan` on the calling thread, in order, from the first, for
// options.aloneMicroseconds at most (the piece under way is finished);
// walk(piece) walks one. Returns how many were walked.
template <class Walk>
size_t walkPiecesAlone(const PiecePlan& plan, PassOptions options, Walk&& walk) {
  const auto start = std::chrono::steady_clock::now();
  const auto budget = std::chrono::microseconds(options.aloneMicroseconds);
  size_t walked = 0;
  while (walked < plan.count() && std::chrono::steady_clock::now() - start < budget) {
    walk(walked);
    ++walked;
  }
  return walked;
}

inline std::unique_ptr<enumeration_detail::SubtreeSkipper> makeSkipper(const Problem& problem) {
  const std::vector<int32_t> columns(problem.colMargin.begin(), problem.colMargin.end());
  return std::make_unique<enumeration_detail::SubtreeSkipper>(problem.r, problem.c, columns.data(),
                                                              (problem.r - 1) * (problem.c - 1));
}

}  // namespace rxc
