// Two doubles side by side, for working on two tables at once. Arithmetic on a
// DoublePair is IEEE arithmetic lane by lane, so each lane gets exactly the
// bits that the same operations on a lone double give.
#pragma once

#include <bit>
#include <cstdint>

namespace rxc {

using DoublePair = double __attribute__((vector_size(16)));
using BitsPair = uint64_t __attribute__((vector_size(16)));

// The lanes of a comparison's result (all bits set where it holds) as two
// bits, lane 0 in bit 0: one instruction where SSE2 is at hand.
template <class Mask>
inline int laneBits(Mask mask) {
#if defined(__SSE2__)
  return __builtin_ia32_movmskpd(std::bit_cast<DoublePair>(mask));
#else
  return (mask[0] != 0 ? 1 : 0) | (mask[1] != 0 ? 2 : 0);
#endif
}

// {v, v}
inline DoublePair splat(double v) { return DoublePair{v, v}; }

// {p[0], p[1]}
inline DoublePair loadPair(const double* p) {
  DoublePair v;
  __builtin_memcpy(&v, p, sizeof v);
  return v;
}

// {p[1], p[0]}
inline DoublePair loadPairReversed(const double* p) {
  const DoublePair v = loadPair(p);
  return __builtin_shufflevector(v, v, 1, 0);
}

}  // namespace rxc
