// The one layout of every table in the report: a blank line, the rows of cell
// counts, the probability (and, in listings that show it, its logarithm when
// the probability is below Tiny), and a blank line.
#pragma once

#include <cmath>
#include <cstdint>

#include "engine/problem/problem.h"
#include "records/record_writer.h"

namespace rxc {

// Below this a probability is written as 0 or in a form too small to read,
// and listings that show logarithms add the probability's logarithm.
inline const double kTiny = std::pow(10.0, -305.0);

// What a table block's look depends on, fixed once the marginals are known.
struct TableLayout {
  int r = 0;
  int c = 0;
  int cellWidth = 5;   // CellWidth: the columns of every cell
  bool narrow = true;  // TableLineWidth = c x CellWidth at most 45
};

// From the digit count D of the largest column marginal: 5 for D <= 2, 6 for
// D = 3, D + 2 beyond. The row marginals play no part.
int cellWidthForDigits(int digits);
TableLayout tableLayoutOf(const Problem& problem);

// `cells` holds r x c counts, row-major.
void writeTableBlock(RecordWriter& report, const TableLayout& layout, const int16_t* cells,
                     double probability, double logProb, bool showLog);

// The rows of a table without its probability, each indented five columns
// further than a block's (the observed tables of a condition).
void writeIndentedRows(RecordWriter& report, const TableLayout& layout, const int16_t* cells);

}  // namespace rxc
