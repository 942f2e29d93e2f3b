#include "report/report_head.h"

#include <algorithm>
#include <vector>

#include "records/field_widths.h"

namespace rxc {

namespace {

// One line of marginals: two blanks before every value's digits, the first
// value widened to `firstWidth`, values separated by commas.
void writeMarginLine(RecordWriter& report, const std::vector<int16_t>& margins, int firstWidth) {
  for (size_t k = 0; k < margins.size(); ++k) {
    const int width = k == 0 ? firstWidth : decimalDigits(margins[k]) + 2;
    report.format("(I\\)", SizedInt{margins[k], width});
    if (k + 1 < margins.size()) report.format("(A1\\)", ",");
  }
}

}  // namespace

void writeReportHead(RecordWriter& report, const Problem& problem) {
  report.list();
  report.list();
  report.list({" DISTRIBUCIÓN DE PROBABILIDAD DE LAS TABLAS ", problem.dimText,
               " CON MARGINALES FIJOS,",
               " Y BAJO EL SUPUESTO DE INDEPENDENCIA ENTRE FILAS Y COLUMNAS."});
  // Both first values take the wider of the two, so they end in one column.
  const int firstWidth = decimalDigits(std::max(problem.rowMargin[0], problem.colMargin[0])) + 2;
  report.format("(/,A22\\)", "  Marginales filas:   ");
  writeMarginLine(report, problem.rowMargin, firstWidth);
  report.format("(1X)");
  report.format("(A22\\)", "  Marginales columnas:");
  writeMarginLine(report, problem.colMargin, firstWidth);
  report.format("(1X,/,/)");
}

}  // namespace rxc
