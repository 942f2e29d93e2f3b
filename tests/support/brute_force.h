// Every table with given margins, by brute force, for the property tests.
#pragma once

#include <cstdint>
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

}  // namespace rxc::testing
