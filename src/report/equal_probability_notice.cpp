#include "report/equal_probability_notice.h"

#include "records/field_widths.h"

namespace rxc {

void writeEqualProbabilityNotice(RecordWriter& report, std::string_view dimText) {
  report.format("(A20,A,A57)", "  No existen tablas ", dimText,
                " de máxima probabilidad (moda) ni de mínima probabilidad.");
  report.format("(A19,A,A49)", "  Todas las tablas ", dimText,
                " de la distribución tienen la misma probabilidad.");
  report.list();
}

void writeEqualProbabilityListingNote(RecordWriter& report, int32_t tablesToWrite,
                                      double tableCount) {
  if (tablesToWrite <= 0) {
    report.list({" No se escribe ninguna tabla."});
  } else if (static_cast<double>(tablesToWrite) >= tableCount) {
    report.list({" Se escriben todas las tabla de la distribución."});
    report.list();
  } else {
    // T in its own width, at most 10 columns.
    const int width = countWidth(tablesToWrite);
    report.format("(A54\\)", "  Sólo se escriben las T primeras tablas generadas (T=");
    report.format("(I\\)", SizedInt{tablesToWrite, width < 10 ? width : 10});
    report.format("(A2)", ").");
    report.list();
  }
}

}  // namespace rxc
