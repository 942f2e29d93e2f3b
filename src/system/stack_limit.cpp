#include "system/stack_limit.h"

#include <sys/resource.h>

namespace rxc {

uint64_t mainStackBytes() {
  constexpr uint64_t kUnknown = uint64_t{8} << 20;
  constexpr uint64_t kUnlimited = uint64_t{64} << 20;
  rlimit limit{};
  if (getrlimit(RLIMIT_STACK, &limit) != 0) return kUnknown;
  if (limit.rlim_cur == RLIM_INFINITY) return kUnlimited;
  return static_cast<uint64_t>(limit.rlim_cur);
}

}  // namespace rxc
