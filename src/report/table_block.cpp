#include "report/table_block.h"

#include <algorithm>

#include "records/field_widths.h"

namespace rxc {

namespace {
// Tables up to this many columns of text keep the probability on the first
// row's line; wider ones get it on a line of its own.
constexpr int kNarrowLineWidth = 45;

void writeCells(RecordWriter& report, const TableLayout& layout, const int16_t* row) {
  for (int j = 0; j < layout.c; ++j) report.format("(I\\)", SizedInt{row[j], layout.cellWidth});
}
}  // namespace

int cellWidthForDigits(int digits) {
  if (digits <= 2) return 5;
  if (digits == 3) return 6;
  return digits + 2;
}

TableLayout tableLayoutOf(const Problem& problem) {
  TableLayout layout;
  layout.r = problem.r;
  layout.c = problem.c;
  const int16_t largest = *std::max_element(problem.colMargin.begin(), problem.colMargin.end());
  layout.cellWidth = cellWidthForDigits(decimalDigits(largest));
  layout.narrow = problem.c * layout.cellWidth <= kNarrowLineWidth;
  return layout;
}

void writeTableBlock(RecordWriter& report, const TableLayout& layout, const int16_t* cells,
                     double probability, double logProb, bool showLog) {
  const bool logLine = showLog && probability < kTiny;
  report.list();
  for (int i = 0; i < layout.r; ++i) {
    writeCells(report, layout, cells + i * layout.c);
    if (layout.narrow && i == 0) report.format("(6X,A6,D21.14\\)", "Prob.=", probability);
    if (layout.narrow && i == 1 && logLine) {
      report.format("(6X,A11,D19.12\\)", "log(Prob.)=", logProb);
    }
    report.format("(1X)");
  }
  if (!layout.narrow) {
    report.format("(4X,A6,D21.14)", "Prob.=", probability);
    if (logLine) report.format("(4X,A11,D19.12)", "log(Prob.)=", logProb);
  }
  report.list();
}

void writeIndentedRows(RecordWriter& report, const TableLayout& layout, const int16_t* cells) {
  for (int i = 0; i < layout.r; ++i) {
    report.format("(5X\\)");
    writeCells(report, layout, cells + i * layout.c);
    report.format("(1X)");
  }
}

}  // namespace rxc
