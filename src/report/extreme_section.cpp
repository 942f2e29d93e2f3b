#include "report/extreme_section.h"

#include "records/count_form.h"
#include "records/field_widths.h"
#include "report/arrows.h"

namespace rxc {

namespace {

// The largest count the report writes as a plain number of held tables.
constexpr int32_t kMostTablesToWrite = 500000;

// The texts that tell the two sections apart.
struct SectionTexts {
  const char* label;  // of the count record
  const char* noTable;
  const char* tablesWritten;
};

SectionTexts textsOf(ExtremeSide side) {
  if (side == ExtremeSide::kMaximum) {
    return {" de máxima probabilidad =", " [No se escribe ninguna tabla de máxima probabilidad].",
            " tablas de máxima probabilidad]."};
  }
  return {" de mínima probabilidad =", " [No se escribe ninguna tabla de mínima probabilidad].",
          " tablas de mínima probabilidad]."};
}

void writeCountRecord(RecordWriter& report, const ExtremeSectionView& view, const char* label) {
  if (view.count > kMostTablesToWrite) {
    report.format("(A25,A,A25\\)", " [Número total de tablas ", view.dimText, label);
    writeCountForm(report, view.count, /*keepRealOpen=*/true);
    report.format("(A2)", "].");
    return;
  }
  // The total, not the number held: the two differ when the store filled up
  // before the count reached its end.
  const auto count = static_cast<int32_t>(view.count + 0.5);
  report.format("(A26,A,A25,I,A1)", "  [Número total de tablas ", view.dimText, label,
                SizedInt{count, countWidth(view.count)}, "]");
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

void writeExtremeHeading(RecordWriter& report, const ExtremeSectionView& view) {
  report.list();
  report.list();
  if (view.side == ExtremeSide::kMaximum) {
    report.format("(A9,A,A50)", "  TABLAS ", view.dimText,
                  " DE MÁXIMA PROBABILIDAD (Moda de la distribución):");
  } else {
    report.format("(A9,A,A24)", "  TABLAS ", view.dimText, " DE MÍNIMA PROBABILIDAD:");
  }
  report.list();
}

void writeExtremeTables(RecordWriter& report, const ExtremeSectionView& view, int32_t toWrite) {
  const SectionTexts texts = textsOf(view.side);
  const bool minimum = view.side == ExtremeSide::kMinimum;
  writeCountRecord(report, view, texts.label);
  if (minimum) report.list();
  if (toWrite == 0) {
    report.list({texts.noTable});
    return;
  }
  // Said whenever fewer tables are written than there are in the group.
  if (toWrite < view.count) {
    report.format("(A14,I,A32)", " [Se escriben", SizedInt{toWrite, countWidth(toWrite)},
                  texts.tablesWritten);
  }
  if (minimum) writeProbabilityNotes(report, view.tables.probability());
  report.list();
  for (const ListedTable& table : view.tables.first(toWrite)) {
    writeTableBlock(report, view.layout, table.cells, table.probability, table.logProb,
                    /*showLog=*/minimum);
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
