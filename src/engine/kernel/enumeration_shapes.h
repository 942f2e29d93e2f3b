// Which kernel a pass runs: a few shapes compiled with r and c as constants,
// the run-time shape for every other one. Included by engine/kernel/enumeration.h.
#pragma once

#include <array>
#include <cstddef>
#include <iterator>

#include "base/debug_checks.h"
#include "engine/kernel/enumeration_kernel.h"

namespace rxc {
namespace enumeration_detail {

// The kernel with the shape read at run time, whatever the shape.
template <class Visitor, class Progress>
PassResult runAnyShape(const Problem& problem, Progress& progress, Visitor& visitor,
                       PassOptions options, const Piece* piece = nullptr,
                       SubtreeSkipper* skipper = nullptr) {
  Kernel<0, 0> kernel(problem, options);
  return kernel.run(progress, visitor, piece, skipper);
}

// Shapes compiled with r and c as constants, as 100 r + c: 3 x 3, 4 x 4,
// 5 x 5, and 3 x 6, 2 x 10 with their transposes. Each fixed shape is one
// more instantiation of the kernel for every visitor type that runs on them,
// so the list stays short: in other shapes each table adds so many derived
// cells, or the distribution is so small, that the loop overhead of the
// run-time shape is a small part of the cost. With exp() taken on most
// tables, the run-time shape costs about a fifth more per table in 4 x 4, 5 x 5,
// 6 x 3 and 10 x 2, a tenth in 3 x 3, 3 x 6 and 2 x 10, and nothing in 2 x 3
// and 3 x 2 (one interior row or column, no held cells), which are left out.
inline constexpr std::array<int, 7> kFixedShapes{303, 404, 505, 306, 603, 210, 1002};

template <size_t I, class Visitor, class Progress>
PassResult runPassFixedShape(const Problem& problem, Progress& progress, Visitor& visitor,
                             PassOptions options, const Piece* piece = nullptr,
                             SubtreeSkipper* skipper = nullptr) {
  if constexpr (I == std::size(kFixedShapes)) {
    return runAnyShape(problem, progress, visitor, options, piece, skipper);
  } else {
    constexpr int kR = kFixedShapes[I] / 100;
    constexpr int kC = kFixedShapes[I] % 100;
    if (problem.r == kR && problem.c == kC) {
      Kernel<kR, kC> kernel(problem, options);
      return kernel.run(progress, visitor, piece, skipper);
    }
    return runPassFixedShape<I + 1>(problem, progress, visitor, options, piece, skipper);
  }
}

inline bool isFixedShape(const Problem& problem) {
  for (int shape : kFixedShapes) {
    if (problem.r == shape / 100 && problem.c == shape % 100) return true;
  }
  return false;
}

}  // namespace enumeration_detail

template <class Visitor, class Progress>
PassResult runPass(const Problem& problem, Progress& progress, Visitor& visitor,
                   PassOptions options = {}) {
  return enumeration_detail::runPassFixedShape<0>(problem, progress, visitor, options);
}

// The deepest a piece's prefix may reach: the positions the walk carries
// from and above. The walk carries from position m-4 where the third-last
// cell loops around the blocks (the fixed shapes), else from m-3; a piece
// leaves that loop and the block whole. Shapes with fewer than three interior
// positions are not split (0).
inline int piecesDepthLimit(const Problem& problem) {
  const int m = (problem.r - 1) * (problem.c - 1);
  if (m < 3) return 0;
  return enumeration_detail::isFixedShape(problem) ? m - 3 : m - 2;
}

// One piece of the pass (see Piece), at a depth of at most
// piecesDepthLimit(problem); `skipper`, when given, is shared by the pieces
// one worker runs.
template <class Visitor, class Progress>
PassResult runPiece(const Problem& problem, Progress& progress, Visitor& visitor,
                    PassOptions options, const Piece& piece,
                    enumeration_detail::SubtreeSkipper* skipper) {
  RXC_DEBUG_ASSERT(piece.depth <= piecesDepthLimit(problem));
  return enumeration_detail::runPassFixedShape<0>(problem, progress, visitor, options, &piece,
                                                  skipper);
}

// The same pass with the shape read at run time for every shape: for passes
// whose per-table work is not what costs (one table, a pass that stops early,
// a pass that writes every table), so that they add one instantiation of the
// kernel instead of one per fixed shape.
template <class Visitor, class Progress>
PassResult runPassAnyShape(const Problem& problem, Progress& progress, Visitor& visitor,
                           PassOptions options = {}) {
  return enumeration_detail::runAnyShape(problem, progress, visitor, options);
}

}  // namespace rxc
