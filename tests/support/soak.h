// How many rounds a randomized test runs, and from which seed: its own (what
// CI runs) unless RXC_SOAK_ROUNDS or RXC_SOAK_SEED is set, so that a change
// can be soaked in thousands of rounds, or in other ones, by hand:
//
//   RXC_SOAK_ROUNDS=3000 RXC_SOAK_SEED=7 build/tests/network_tests
//
// A value that is not a positive decimal number (a seed may be 0) ends the
// test program with a message: a typo must not run zero rounds and pass.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace rxc::testing {

struct Soak {
  int rounds;
  unsigned seed;
};

// The variable `name` as a number from `least` to `most`, or `usual` when it
// is not set.
inline unsigned long soakSetting(const char* name, unsigned long usual, unsigned long least,
                                 unsigned long most) {
  const char* text = std::getenv(name);
  if (text == nullptr) return usual;
  char* end = nullptr;
  errno = 0;
  const unsigned long value = std::strtoul(text, &end, 10);
  if (*text < '0' || *text > '9' || *end != '\0' || errno != 0 || value < least || value > most) {
    std::fprintf(stderr, "%s=%s: expected a whole number from %lu to %lu\n", name, text, least,
                 most);
    std::exit(2);
  }
  return value;
}

inline Soak soak(int rounds, unsigned seed) {
  const auto mostRounds = static_cast<unsigned long>(std::numeric_limits<int>::max());
  const auto mostSeed = static_cast<unsigned long>(std::numeric_limits<unsigned>::max());
  return {static_cast<int>(
              soakSetting("RXC_SOAK_ROUNDS", static_cast<unsigned long>(rounds), 1, mostRounds)),
          static_cast<unsigned>(soakSetting("RXC_SOAK_SEED", seed, 0, mostSeed))};
}

}  // namespace rxc::testing
