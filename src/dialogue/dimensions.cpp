#include "dialogue/dimensions.h"

#include <algorithm>
#include <string>

#include "base/fatal_stop.h"
#include "records/int_formats.h"

namespace rxc {

namespace {

constexpr int16_t kMaxDimension = 100;
constexpr int16_t kMaxMarginal = 20000;
constexpr int32_t kMaxTotal = 20000;

int16_t askDimension(Session& session, const char* pattern, const char* prompt) {
  for (;;) {
    session.console.format(pattern, {prompt});
    const int16_t value = session.input.readFieldInt16(5);
    if (value >= 2 && value <= kMaxDimension) return value;
  }
}

int16_t askMarginal(Session& session, const char* pattern, const char* label, int16_t index) {
  for (;;) {
    session.console.format(pattern, {label, index, " = "});
    const int16_t value = session.input.readFieldInt16(8);
    if (value > 0 && value <= kMaxMarginal) return value;
  }
}

// One line of marginals in the report head: two blanks before every value's
// digits, the first value widened to `firstWidth`, values separated by commas.
void writeMarginLine(RecordWriter& report, const std::vector<int16_t>& margins, int firstWidth) {
  const size_t count = margins.size() - 1;
  for (size_t k = 1; k <= count; ++k) {
    const int width = k == 1 ? firstWidth : decimalDigits(margins[k]) + 2;
    report.format(intFormat(width), {margins[k]});
    if (k < count) report.format("(A1\\)", {","});
  }
}

}  // namespace

int16_t cellWidthForDigits(int digits) {
  if (digits <= 2) return 5;
  if (digits == 3) return 6;
  return static_cast<int16_t>(digits + 2);
}

void askDimensions(Session& session) {
  RunState& s = session.state;
  s.r = askDimension(session, "(/,/,/,A34\\)", "  Introducir numero de filas (r): ");
  s.c = askDimension(session, "(/,A37\\)", "  Introducir numero de columnas (c): ");
  s.dimText = std::to_string(s.r) + "x" + std::to_string(s.c);
}

void acquireMarginArrays(Session& session) {
  RunState& s = session.state;
  s.longSide = std::max(s.r, s.c);
  s.shortSide = std::min(s.r, s.c);
  // The first group is a few kilobytes even at 100 x 100; it still goes
  // through the budget so that a refused acquisition ends the run cleanly.
  const uint64_t bytes = static_cast<uint64_t>(s.r + 1) * 2 * 3 + static_cast<uint64_t>(s.c + 1) * 2 * 3 +
                         static_cast<uint64_t>(s.longSide) * 8 +
                         static_cast<uint64_t>(2) * s.r * s.c * 2;
  if (!session.memory.charge(bytes)) stopRun(kMemoryFailureMessage);
  s.rowMargin.assign(s.r + 1, 0);
  s.colMargin.assign(s.c + 1, 0);
  s.rowCum.assign(s.r + 1, 0);
  s.colCum.assign(s.c + 1, 0);
  s.longMargins.assign(s.longSide + 1, 0);
  s.shortMargins.assign(s.shortSide + 1, 0);
  s.observedTables.assign(static_cast<size_t>(2) * s.r * s.c, 0);
}

void askMarginals(Session& session) {
  RunState& s = session.state;
  RecordWriter& console = session.console;
  // Rows go to the first column of the margin pairs when they are the longer
  // side (or as long as the columns).
  std::vector<int32_t>& rowPairs = s.r >= s.c ? s.longMargins : s.shortMargins;
  std::vector<int32_t>& colPairs = s.r >= s.c ? s.shortMargins : s.longMargins;
  for (;;) {
    console.list();
    console.list();
    console.list();
    console.list({" Introducir marginales de la tabla ", s.dimText, ":"});
    console.list();
    s.n = 0;
    for (int16_t i = 1; i <= s.r; ++i) {
      s.rowMargin[i] = askMarginal(session, "(A18,I3,A3\\)", " marginal fila", i);
      rowPairs[i] = s.rowMargin[i];
      s.n += s.rowMargin[i];
    }
    console.list();
    if (s.n > kMaxTotal) {
      console.list({" El total N no debe ser superior a 20000."});
      continue;
    }
    s.rowCum[0] = 0;
    for (int i = 1; i <= s.r; ++i) s.rowCum[i] = static_cast<int16_t>(s.rowCum[i - 1] + s.rowMargin[i]);
    int32_t columnSum = 0;
    int16_t largestColumn = 0;
    for (int16_t j = 1; j <= s.c; ++j) {
      s.colMargin[j] = askMarginal(session, "(A21,I3,A3\\)", " marginal columna", j);
      colPairs[j] = s.colMargin[j];
      columnSum += s.colMargin[j];
      largestColumn = std::max(largestColumn, s.colMargin[j]);
    }
    console.list();
    if (columnSum != s.n) {
      console.list({"  Algun marginal es incorrecto."});
      continue;
    }
    s.cellWidth = cellWidthForDigits(decimalDigits(largestColumn));
    s.tableLineWidth = static_cast<int16_t>(s.c * s.cellWidth);
    s.colCum[0] = 0;
    for (int j = 1; j <= s.c; ++j) s.colCum[j] = static_cast<int16_t>(s.colCum[j - 1] + s.colMargin[j]);
    return;
  }
}

void writeReportHead(Session& session) {
  const RunState& s = session.state;
  RecordWriter& report = session.report;
  report.list();
  report.list();
  report.list({" DISTRIBUCIÓN DE PROBABILIDAD DE LAS TABLAS ", s.dimText, " CON MARGINALES FIJOS,",
               " Y BAJO EL SUPUESTO DE INDEPENDENCIA ENTRE FILAS Y COLUMNAS."});
  // Both first values take the wider of the two, so they end in one column.
  const int firstWidth = decimalDigits(std::max(s.rowMargin[1], s.colMargin[1])) + 2;
  report.format("(/,A22\\)", {"  Marginales filas:   "});
  writeMarginLine(report, s.rowMargin, firstWidth);
  report.format("(1X)");
  report.format("(A22\\)", {"  Marginales columnas:"});
  writeMarginLine(report, s.colMargin, firstWidth);
  report.format("(1X,/,/)");
}

}  // namespace rxc
