#include "flow/program_flow.h"

#include <new>
#include <string>
#include <utility>
#include <variant>

#include "base/fatal_stop.h"
#include "base/memory_budget.h"
#include "dialogue/console.h"
#include "dialogue/console_progress.h"
#include "dialogue/dimensions.h"
#include "dialogue/estimate_display.h"
#include "dialogue/options_dialogue.h"
#include "engine/condition/condition_pass.h"
#include "engine/parallel/pass_workers.h"
#include "engine/problem/problem.h"
#include "engine/problem/table_count_estimate.h"
#include "engine/stores/kept_tables.h"
#include "flow/end_messages.h"
#include "flow/report_file.h"
#include "flow/result_stages.h"
#include "records/input_error.h"
#include "report/report_head.h"
#include "system/machine_memory.h"
#include "system/processors.h"
#include "system/standard_input.h"

namespace rxc {

namespace {

constexpr int kNormalEnd = 0;
constexpr int kFatalStop = 1;
constexpr int kUnreadableInput = 2;
constexpr int kNoReport = 3;
constexpr int kConsoleClosed = 4;

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

// The first group of per-run arrays (the margins, the observed tables and the
// enumeration's working arrays) is a few kilobytes even at 100 x 100; it still
// goes through the budget so that a refused acquisition ends the run cleanly.
void acquireMarginArrays(MemoryBudget& memory, const Dimensions& d) {
  const auto r = static_cast<uint64_t>(d.r);
  const auto c = static_cast<uint64_t>(d.c);
  const uint64_t bytes =
      (r + 1) * 2 * 3 + (c + 1) * 2 * 3 + std::max(r, c) * 8 + uint64_t{2} * r * c * 2;
  if (!memory.charge(bytes)) stopRun(kMemoryFailureMessage);
}

// Threads for the run's passes: those the settings ask for, else as the
// exact number of tables calls for (workersForPass).
int workersFor(const RunSettings& settings, const Problem& problem) {
  if (settings.workers > 0) return settings.workers;
  return workersForPass(problem, availableProcessors());
}

void writeClosing(Console& console) {
  console.blankLines(3);
  console.out().list({" Ver resultados en el fichero res.txt."});
  console.out().list();
  console.out().list({" Press ENTER key to finish the program and close the window."});
  console.in().skipLine();
  console.out().list();
}

// The report is complete: an open record ended, everything written out and
// the file closed, all before the closing tells the user to look at it.
void finishReport(RecordWriter& report, ReportFile& file) {
  if (report.recordOpen()) report.list();
  report.flush();
  file.close();
}

void runStages(Console& console, RecordWriter& report, ReportFile& file, MemoryBudget& memory,
               const RunSettings& settings) {
  writeIntroduction(console.out());
  const Dimensions dimensions = askDimensions(console);
  acquireMarginArrays(memory, dimensions);
  Marginals margins = askMarginals(console, dimensions);
  const Problem problem = makeProblem(std::move(margins.rows), std::move(margins.cols));
  writeReportHead(report, problem);
  // The end of a stage: what the report holds reaches the file, so that an
  // interrupted run keeps it and a report that cannot be written is known now.
  report.flush();
  const float approxCount = approximateTableCount(problem);
  showTableCountEstimate(console.out(), problem.dimText, approxCount);
  ConsoleProgress display(console.out());
  ProgressBar progress(approxCount, &display);

  const Request request = runOptionsDialogue(console, problem);
  KeptTables kept = acquireKeptTables(memory, problem, request, approxCount);

  console.blankLines(4);
  console.out().list({" Progreso de los calculos:"});
  progress.writeStart();
  PassOptions passOptions{settings.boundedEnumeration, 1, settings.aloneMicroseconds};
  passOptions.networkWalk = settings.networkWalk;
  passOptions.stackBytes = settings.stackBytes;
  passOptions.memory = &memory;
  // A pass that the network walk takes runs on this thread: the count that
  // sizes the workers (a few milliseconds) would be spent for nothing.
  const auto* condition = std::get_if<ConditionRequest>(&request);
  if (condition == nullptr || !networkWalkTakes(problem, *condition, passOptions)) {
    passOptions.workers = workersFor(settings, problem);
  }
  ResultContext run{console, report, problem, progress, kept, passOptions};
  if (condition != nullptr) {
    runConditionStage(run, *condition);
  } else {
    runOptionAStage(run, std::get<OptionARequest>(request));
  }
  finishReport(report, file);
  writeClosing(console);
}

// A console record left open when the run ends is completed, as the end of
// the process would complete it.
void endConsole(Console& console) {
  if (console.out().recordOpen()) console.out().list();
  console.out().flush();
}

// The report of a run that ends early: its open record completed, the stop's
// message (when there is one) as its last record, and the file closed. False
// when the report could not be written, then or before.
bool settleReport(RecordWriter& report, ReportFile& file, const std::string& message) {
  if (file.failed()) return false;
  try {
    if (report.recordOpen()) report.list();
    if (!message.empty()) report.list({message});
    finishReport(report, file);
    return true;
  } catch (...) {
    // A failed write leaves the stream unusable; the cause is in the file.
    return false;
  }
}

}  // namespace

int runProgram(std::istream& consoleIn, std::ostream& consoleOut, std::ostream& errorOut,
               const std::string& reportPath, const RunSettings& settings) {
  // Before anything is asked: a run that cannot have the report ends at once.
  ReportFile file(reportPath, settings.interruptionGuard);
  if (!file.isOpen()) {
    errorOut << (file.busy() ? reportBusyLine(reportPath)
                             : reportErrorLine(reportPath, file.error()))
             << "\n";
    return kNoReport;
  }
  Console console(consoleIn, consoleOut);
  RecordWriter report(file.stream(), StreamStyle::kReport);
  MemoryBudget memory(settings.memoryLimitBytes ? *settings.memoryLimitBytes
                                                : machineMemoryBudget());

  // Each way a run can end early. The report is settled first, so that the
  // line on standard error can say whether it holds the stop's message.
  auto endWithStop = [&](const FatalStop& stop) {
    if (stop.consoleError2) console.out().list({" Error 2. Contactar con el autor."});
    const bool written = settleReport(report, file, stop.reportMessage);
    endConsole(console);
    errorOut << fatalStopLine(stop, written) << "\n";
    if (!written) errorOut << reportErrorLine(reportPath, file.error()) << "\n";
    return kFatalStop;
  };
  auto endWithInputFailure = [&](const std::string& line) {
    const bool written = settleReport(report, file, "");
    endConsole(console);
    errorOut << line << "\n";
    if (!written) errorOut << reportErrorLine(reportPath, file.error()) << "\n";
    return kUnreadableInput;
  };
  try {
    runStages(console, report, file, memory, settings);
  } catch (const FatalStop& stop) {
    return endWithStop(stop);
  } catch (const std::bad_alloc&) {
    // Memory refused outside the budgeted arrays ends the run as a refused
    // acquisition does.
    return endWithStop(FatalStop{kMemoryFailureMessage});
  } catch (const InputError& error) {
    return endWithInputFailure(error.what());
  } catch (const InputReadError& error) {
    return endWithInputFailure(inputReadErrorLine(error.errorNumber()));
  } catch (const ReportWriteError& error) {
    endConsole(console);
    errorOut << reportErrorLine(reportPath, error.errorNumber) << "\n";
    return kNoReport;
  }
  endConsole(console);
  // A console that stopped taking text (a pipe whose reader left) dropped the
  // rest of the dialogue, but the run went on to a complete report: a success
  // for the report, not for the console.
  if (consoleOut.fail()) {
    errorOut << consoleClosedLine(reportPath) << "\n";
    return kConsoleClosed;
  }
  return kNormalEnd;
}

}  // namespace rxc
