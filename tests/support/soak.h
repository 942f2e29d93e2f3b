// How many rounds a randomized test runs, and from which seed: its own (what
// CI runs) unless RXC_SOAK_ROUNDS or RXC_SOAK_SEED is set, so that a change
// can be soaked in thousands of rounds, or in other ones, by hand:
//
//   RXC_SOAK_ROUNDS=3000 RXC_SOAK_SEED=7 build/tests/network_tests
#pragma once

#include <cstdlib>

namespace rxc::testing {

struct Soak {
  int rounds;
  unsigned seed;
};

inline Soak soak(int rounds, unsigned seed) {
  if (const char* value = std::getenv("RXC_SOAK_ROUNDS")) rounds = std::atoi(value);
  if (const char* value = std::getenv("RXC_SOAK_SEED")) {
    seed = static_cast<unsigned>(std::strtoul(value, nullptr, 10));
  }
  return {rounds, seed};
}

}  // namespace rxc::testing
