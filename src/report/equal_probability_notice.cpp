#include "report/equal_probability_notice.h"

#include <string>

#include "engine/accumulation.h"

namespace rxc {

namespace {
// "(Iw\)" for the count T of the announcing record: its own width, at most 10.
std::string tablesToWriteFormat(int32_t tablesToWrite) {
  const int width = countWidth(tablesToWrite);
  return "(I" + std::to_string(width < 10 ? width : 10) + "\\)";
}
}  // namespace

int32_t writeEqualProbabilityNotice(Session& session) {
  const RunState& state = session.state;
  RecordWriter& console = session.console;
  RecordWriter& report = session.report;
  const std::string dim = std::to_string(state.dimText.size());

  report.format("(A20,A" + dim + ",A57)",
                {"  No existen tablas ", state.dimText,
                 " de máxima probabilidad (moda) ni de mínima probabilidad."});
  console.list();
  console.list();
  console.format("(A20,A" + dim + ",A50)", {"  No existen tablas ", state.dimText,
                                            " de maxima probabilidad ni de minima probabilidad."});
  report.format("(A19,A" + dim + ",A49)", {"  Todas las tablas ", state.dimText,
                                           " de la distribución tienen la misma probabilidad."});
  report.list();
  console.format("(A19,A" + dim + ",A49)", {"  Todas las tablas ", state.dimText,
                                            " de la distribucion tienen la misma probabilidad."});
  console.list();
  console.format("(A69\\)",
                 {"  Introducir numero de tablas de la distribucion que desea escribir: "});
  const int32_t tablesToWrite = session.input.readListInt32();

  if (tablesToWrite <= 0) {
    report.list({" No se escribe ninguna tabla."});
  } else if (static_cast<double>(tablesToWrite) >= state.tableCount) {
    report.list({" Se escriben todas las tabla de la distribución."});
    report.list();
  } else {
    report.format("(A54\\)", {"  Sólo se escriben las T primeras tablas generadas (T="});
    report.format(tablesToWriteFormat(tablesToWrite), {tablesToWrite});
    report.format("(A2)", {")."});
    report.list();
  }
  return tablesToWrite;
}

}  // namespace rxc
