#include "report/table_block.h"

#include "engine/probability.h"
#include "records/int_formats.h"

namespace rxc {

namespace {
// Tables up to this many columns of text keep the probability on the first
// row's line; wider ones get it on a line of its own.
constexpr int kNarrowLineWidth = 45;
}  // namespace

void writeTableBlock(RecordWriter& report, const RunState& state, const int16_t* cells,
                     double probability, double logProb, bool showLog) {
  const bool narrow = state.tableLineWidth <= kNarrowLineWidth;
  const bool logLine = showLog && probability < kTiny;
  const std::string cellFormat = intFormat(state.cellWidth);
  report.list();
  for (int i = 1; i <= state.r; ++i) {
    for (int j = 1; j <= state.c; ++j) report.format(cellFormat, {cells[(i - 1) * state.c + j - 1]});
    if (narrow && i == 1) report.format("(6X,A6,D21.14\\)", {"Prob.=", probability});
    if (narrow && i == 2 && logLine) report.format("(6X,A11,D19.12\\)", {"log(Prob.)=", logProb});
    report.format("(1X)");
  }
  if (!narrow) {
    report.format("(4X,A6,D21.14)", {"Prob.=", probability});
    if (logLine) report.format("(4X,A11,D19.12)", {"log(Prob.)=", logProb});
  }
  report.list();
}

}  // namespace rxc
