// Dimensions and marginals: the questions for r, c and every marginal, with
// their checks. Every check asks again; nothing here ends the run but input
// that cannot be read.
#pragma once

#include <cstdint>
#include <vector>

#include "dialogue/console.h"

namespace rxc {

struct Dimensions {
  int r = 0;
  int c = 0;
};

struct Marginals {
  std::vector<int16_t> rows;  // r values, each 1..20000, N at most 20000
  std::vector<int16_t> cols;  // c values, each 1..20000, adding up to N
};

Dimensions askDimensions(Console& console);
Marginals askMarginals(Console& console, const Dimensions& dimensions);

}  // namespace rxc
