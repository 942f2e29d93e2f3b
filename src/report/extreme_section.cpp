#include "report/extreme_section.h"

#include <cmath>
#include <string>

#include "base/fast_exp.h"
#include "engine/probability.h"
#include "report/count_form.h"
#include "report/table_block.h"

namespace rxc {

namespace {

// Held tables are written without a question up to this many.
constexpr int32_t kWrittenWithoutQuestion = 10;
// The largest number of tables the user may ask for, and the largest count
// the report writes as a plain number of held tables.
constexpr int32_t kMostTablesToWrite = 500000;

const char* const kArrows = ">>>>>>>>>>>>>>>>>>>>";

// The texts and values that tell the two sections apart.
struct SectionView {
  const char* headingWidth;  // width of the heading's last text
  const char* heading;
  const char* consoleLabel;
  const char* prompt;
  const char* reportLabel;
  const char* noTable;
  const char* tablesWritten;
  bool minimum;
  double logProb;
  double count;
  int32_t kept;
  const TableSlots* tables;
};

SectionView viewOf(const RunState& state, ExtremeSide side) {
  const ExtremeTracking& e = state.extremes;
  if (side == ExtremeSide::kMaximum) {
    return {"50",
            " DE MÁXIMA PROBABILIDAD (Moda de la distribución):",
            " de maxima probabilidad =",
            "  Introducir numero de tablas de maxima probabilidad a escribir: ",
            " de máxima probabilidad =",
            " [No se escribe ninguna tabla de máxima probabilidad].",
            " tablas de máxima probabilidad].",
            false,
            e.modeLogProb,
            e.modeCount,
            e.modeKept,
            &state.highTables};
  }
  return {"24",
          " DE MÍNIMA PROBABILIDAD:",
          " de minima probabilidad =",
          "  Introducir numero de tablas de minima probabilidad a escribir: ",
          " de mínima probabilidad =",
          " [No se escribe ninguna tabla de mínima probabilidad].",
          " tablas de mínima probabilidad].",
          true,
          e.minLogProb,
          e.minCount,
          e.minKept,
          &state.lowTables};
}

// Shows the count on the console and asks how many held tables to write:
// negative answers are asked again silently, answers above the limit with a
// message; an answer above the number held is lowered to it.
int32_t askTablesToWrite(Session& session, const SectionView& view, const std::string& dim) {
  RecordWriter& console = session.console;
  for (int k = 0; k < 4; ++k) console.list();
  console.format("(A25,A" + dim + ",A25\\)",
                 {"  Numero total de tablas ", session.state.dimText, view.consoleLabel});
  writeCountForm(console, view.count, /*keepRealOpen=*/true);
  console.list();
  console.list();
  int32_t wanted = -1;
  for (;;) {
    console.format("(A65\\)", {view.prompt});
    wanted = session.input.readListInt32();
    if (wanted < 0) continue;
    if (wanted <= kMostTablesToWrite) break;
    console.list({" No puede ser mayor que 500000."});
  }
  return wanted > view.kept ? view.kept : wanted;
}

void writeCountRecord(RecordWriter& report, const RunState& state, const SectionView& view,
                      const std::string& dim) {
  if (view.count > kMostTablesToWrite) {
    report.format("(A25,A" + dim + ",A25\\)",
                  {" [Número total de tablas ", state.dimText, view.reportLabel});
    writeCountForm(report, view.count, /*keepRealOpen=*/true);
    report.format("(A2)", {"]."});
    return;
  }
  // The total, not the number held: the two differ when the store filled up
  // before the count reached its end.
  const int32_t count = static_cast<int32_t>(view.count + 0.5);
  report.format("(A26,A" + dim + ",A25,I" + std::to_string(countWidth(view.count)) + ",A1)",
                {"  [Número total de tablas ", state.dimText, view.reportLabel, count, "]"});
}

void writeProbabilityNotes(RecordWriter& report, double probability) {
  if (probability == 0.0) {
    report.list({" [La probabilidad es demasiado pequeña y se escribe como 0."});
    report.list({"  Se escribe también el logaritmo natural de la probabilidad]."});
  } else if (probability < kTiny) {
    report.list({" [La probabilidad es demasiado pequeña, y se escribe también el"});
    report.list({"  logaritmo natural de la misma]."});
  }
}

}  // namespace

void writeExtremeSection(Session& session, ExtremeSide side) {
  const RunState& state = session.state;
  RecordWriter& report = session.report;
  const SectionView view = viewOf(state, side);
  const std::string dim = std::to_string(state.dimText.size());

  report.list();
  report.list();
  report.format(std::string("(A9,A") + dim + ",A" + view.headingWidth + ")",
                {"  TABLAS ", state.dimText, view.heading});
  report.list();

  const int32_t toWrite =
      view.kept > kWrittenWithoutQuestion ? askTablesToWrite(session, view, dim) : view.kept;

  writeCountRecord(report, state, view, dim);
  if (view.minimum) report.list();
  if (toWrite == 0) {
    report.list({view.noTable});
    return;
  }
  // Said whenever fewer tables are written than there are in the group.
  if (toWrite < view.count) {
    report.format("(A14,I" + std::to_string(countWidth(toWrite)) + ",A32)",
                  {" [Se escriben", toWrite, view.tablesWritten});
  }
  const double probability = fastExp(view.logProb);
  if (view.minimum) writeProbabilityNotes(report, probability);
  report.list();
  for (int32_t t = 1; t <= toWrite; ++t) {
    writeTableBlock(report, state, view.tables->slot(t), probability, view.logProb,
                    /*showLog=*/view.minimum);
  }
}

void writeSectionSeparator(RecordWriter& report) {
  report.list();
  report.list();
  for (int k = 0; k < 3; ++k) {
    if (k > 0) report.list();
    report.list({" ", kArrows, kArrows, kArrows});
  }
  report.list();
  report.list();
}

}  // namespace rxc
