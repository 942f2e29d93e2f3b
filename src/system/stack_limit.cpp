#include "system/stack_limit.h"

#include <pthread.h>
#include <sys/resource.h>

#include <cstddef>

namespace rxc {

namespace {

// New threads' default stack at least `least` (glibc sizes it once, from the
// soft limit at start-up). Elsewhere the default is left as it is.
void raiseThreadStackTo(uint64_t least) {
#ifdef __GLIBC__
  pthread_attr_t attr;
  if (pthread_getattr_default_np(&attr) != 0) return;
  std::size_t size = 0;
  if (pthread_attr_getstacksize(&attr, &size) == 0 && size < least &&
      pthread_attr_setstacksize(&attr, static_cast<std::size_t>(least)) == 0) {
    pthread_setattr_default_np(&attr);
  }
  pthread_attr_destroy(&attr);
#else
  (void)least;
#endif
}

}  // namespace

uint64_t mainStackBytes() {
  constexpr uint64_t kUnknown = uint64_t{8} << 20;
  constexpr uint64_t kUnlimited = uint64_t{64} << 20;
  rlimit limit{};
  if (getrlimit(RLIMIT_STACK, &limit) != 0) return kUnknown;
  if (limit.rlim_cur == RLIM_INFINITY) return kUnlimited;
  return static_cast<uint64_t>(limit.rlim_cur);
}

uint64_t raiseStackTo(uint64_t least) {
  rlimit limit{};
  if (getrlimit(RLIMIT_STACK, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      limit.rlim_cur < least) {
    // The main thread's stack grows on demand up to the soft limit of the
    // moment, so raising it takes effect at once.
    const auto wanted = static_cast<rlim_t>(least);
    limit.rlim_cur =
        limit.rlim_max == RLIM_INFINITY || limit.rlim_max > wanted ? wanted : limit.rlim_max;
    setrlimit(RLIMIT_STACK, &limit);
  }
  raiseThreadStackTo(least);
  return mainStackBytes();
}

}  // namespace rxc
