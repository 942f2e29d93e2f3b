// Every table with given margins, by brute force, for the property tests.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace rxc::testing {

struct GeneratedTable {
  std::vector<int16_t> cells;  // r x c, row-major
  double logProb;
};

// In generation order: ascending lexicographic order of the interior cells
// read column by column. ln(k!) is a running sum, and the log-probability is
// summed in the documented order: interior cells column by column, the last
// row, the last column, the corner.
std::vector<GeneratedTable> everyTable(const std::vector<int16_t>& rows,
                                       const std::vector<int16_t>& cols);

// `parts` positive values adding up to `total`, at random: margins for the
// property tests.
std::vector<int16_t> randomComposition(std::mt19937& random, int total, int parts);

}  // namespace rxc::testing
