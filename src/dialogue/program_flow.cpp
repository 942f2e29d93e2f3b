#include "dialogue/program_flow.h"

#include <fstream>

#include "dialogue/dimensions.h"
#include "dialogue/estimate.h"
#include "base/fatal_stop.h"
#include "dialogue/kept_table_storage.h"
#include "dialogue/options_dialogue.h"
#include "dialogue/session.h"
#include "engine/accumulation.h"
#include "report/conditioned_section.h"
#include "records/input_error.h"
#include "report/summary_section.h"

namespace rxc {

namespace {

constexpr int kNormalEnd = 0;
constexpr int kFatalStop = 1;
constexpr int kUnreadableInput = 2;
constexpr int kNoReport = 3;

void writeIntroduction(RecordWriter& console) {
  console.list({" El programa calcula la distribucion de probabilidad de las tablas rxc con"});
  console.list({" marginales fijos, bajo el supuesto de independencia entre filas y columnas."});
  console.list({" Las tablas se generan mediante el Algoritmo de Pagano-Halvorsen."});
  console.list();
  console.list({" Se obtienen todas las posibles tablas de la distribucion, con"});
  console.list({" sus respectivas probabilidades, para unos marginales dados."});
  console.list();
  console.list({" Escribe los resultados en el fichero res.txt"});
}

void writeClosing(Session& session) {
  RecordWriter& console = session.console;
  console.list();
  console.list();
  console.list();
  console.list({" Ver resultados en el fichero res.txt."});
  console.list();
  console.list({" Press ENTER key to finish the program and close the window."});
  session.input.skipLine();
  console.list();
}

void runStages(Session& session) {
  RunState& s = session.state;
  writeIntroduction(session.console);
  askDimensions(session);
  acquireMarginArrays(session);
  askMarginals(session);
  s.logFactorial.extendTo(s.n + s.shortSide - 2);
  writeReportHead(session);
  showTableCountEstimate(session);
  s.logMarginConst = computeLogMarginConst(s.logFactorial, s.rowMargin, s.colMargin, s.n);
  s.t1 = 0;
  s.t2 = 0;
  s.extremeOption = 0;
  runOptionsDialogue(session);
  acquireKeptTableStores(session);
  runEnumeration(session);
  if (writeResultsSummary(session)) writeConditionedSection(session);
  writeClosing(session);
}

// A record left open when the run ends is completed, as the end of the
// process would complete it, so that the report's last line keeps its CR LF.
void endOpenRecords(Session& session) {
  if (session.console.recordOpen()) session.console.list();
  if (session.report.recordOpen()) session.report.list();
  session.console.flush();
  session.report.flush();
}

}  // namespace

int runProgram(std::istream& consoleIn, std::ostream& consoleOut, std::ostream& errorOut,
               const std::string& reportPath, const RunSettings& settings) {
  std::ofstream reportFile(reportPath, std::ios::binary | std::ios::trunc);
  if (!reportFile) {
    errorOut << "Error: no se puede escribir el fichero " << reportPath << "\n";
    return kNoReport;
  }
  Session session(consoleIn, consoleOut, reportFile, MemoryBudget(settings.memoryLimitBytes));
  try {
    runStages(session);
  } catch (const FatalStop& stop) {
    if (session.report.recordOpen()) session.report.list();
    if (stop.consoleError2) session.console.list({" Error 2. Contactar con el autor."});
    if (!stop.reportMessage.empty()) session.report.list({stop.reportMessage});
    endOpenRecords(session);
    return kFatalStop;
  } catch (const InputError& error) {
    endOpenRecords(session);
    errorOut << error.what() << "\n";
    return kUnreadableInput;
  }
  endOpenRecords(session);
  return kNormalEnd;
}

}  // namespace rxc
