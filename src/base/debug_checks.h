// Checks of index ranges in the hot paths, compiled in only where asked for
// (the sanitizer build defines RXC_DEBUG_CHECKS); in a normal build they cost
// nothing.
#pragma once

#if defined(RXC_DEBUG_CHECKS)
#include <cstdio>
#include <cstdlib>
#define RXC_DEBUG_ASSERT(condition)                                                            \
  do {                                                                                         \
    if (!(condition)) {                                                                        \
      std::fprintf(stderr, "%s:%d: debug check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                            \
    }                                                                                          \
  } while (false)
#else
#define RXC_DEBUG_ASSERT(condition) \
  do {                              \
  } while (false)
#endif

namespace rxc {

// Whether the debug checks are compiled in, for checks that are more than
// an assertion (code under `if constexpr (kDebugChecks)` costs nothing
// elsewhere).
#if defined(RXC_DEBUG_CHECKS)
inline constexpr bool kDebugChecks = true;
#else
inline constexpr bool kDebugChecks = false;
#endif

}  // namespace rxc
