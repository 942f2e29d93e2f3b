// How a pass is split for several workers: into pieces, each the tables whose
// first interior positions (in generation order) hold one prefix, listed in
// the order of the tables. Every piece can be walked on its own (runPiece),
// and the pieces walked one after the other give the pass's tables in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/problem/problem.h"

namespace rxc {

struct PiecePlan {
  int depth = 0;                  // 0: one piece, the whole pass
  std::vector<int16_t> prefixes;  // `depth` values per piece, pieces in order

  size_t count() const { return depth == 0 ? 1 : prefixes.size() / static_cast<size_t>(depth); }
  const int16_t* prefix(size_t k) const { return prefixes.data() + k * static_cast<size_t>(depth); }
  // The pieces from the k-th on, as a plan of their own.
  PiecePlan from(size_t k) const {
    PiecePlan rest{depth, {}};
    rest.prefixes.assign(
        prefixes.begin() + static_cast<std::ptrdiff_t>(k * static_cast<size_t>(depth)),
        prefixes.end());
    return rest;
  }
};

// The shallowest split into at least `target` pieces, at a depth of at most
// `depthLimit`; the deepest allowed when none gives that many, or one piece
// when the pass cannot be split. Never more than `most` pieces.
PiecePlan planPieces(const Problem& problem, size_t target, size_t most, int depthLimit);

}  // namespace rxc
