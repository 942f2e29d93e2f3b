#include "report/conditioned_section.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "records/int_formats.h"
#include "report/table_block.h"

namespace rxc {

namespace {

constexpr std::string_view kGeText = "MAYOR O IGUAL ";
constexpr std::string_view kLeText = "MENOR O IGUAL ";
constexpr std::string_view kArrows = ">>>>>>>>>>>>>>>>>>>>";

// Width that leaves exactly one blank before a positive count: its number of
// digits plus one.
int countField(int64_t count) { return decimalDigits(count) + 1; }

// The pattern of T1 or T2 in the note on what is listed: at most 10 columns.
std::string listedCountFormat(int32_t t) {
  const int width = countField(t);
  return width < 10 ? intFormat(width) : "(I10\\)";
}

// The rows of an observed table, indented five columns further than those of
// a table block, with no probability.
void writeObservedRows(Session& session, const int16_t* cells) {
  const RunState& s = session.state;
  const std::string cellFormat = intFormat(s.cellWidth);
  for (int i = 0; i < s.r; ++i) {
    session.report.format("(5X\\)");
    for (int j = 0; j < s.c; ++j) session.report.format(cellFormat, {cells[i * s.c + j]});
    session.report.format("(1X)");
  }
}

void writeHeading(Session& session, bool optionB) {
  RecordWriter& report = session.report;
  const RunState& s = session.state;
  const std::string d = std::to_string(s.dimText.size());
  const std::size_t wordLength = optionB ? 5 : 13;
  const std::string boundFormat = optionB ? "(A3,A5,A5\\)" : "(A3,A13,A5\\)";

  for (int k = 0; k < 3; ++k) report.list();
  report.format("(A8,A" + d + ",A38)",
                {" TABLAS ", s.dimText, " DE LA DISTRIBUCIÓN, con probabilidad "});

  report.format(boundFormat, {"   ", kGeText.substr(0, wordLength), " QUE "});
  if (!s.tableEntered[1]) {
    report.format("(D16.10)", {s.l});
  } else {
    report.format("(A27)", {"la probabilidad de la tabla"});
    report.list();
    writeObservedRows(session, s.observedTable(1));
    report.list();
  }

  report.format(boundFormat, {" y ", kLeText.substr(0, wordLength), " QUE "});
  if (!s.tableEntered[2]) {
    report.format("(D16.10,A1)", {s.u, ":"});
  } else {
    report.format("(A27)", {"la probabilidad de la tabla"});
    report.list();
    writeObservedRows(session, s.observedTable(2));
  }
  report.list();
}

void writeCountAndSum(Session& session, const std::string& w) {
  RecordWriter& report = session.report;
  const RunState& s = session.state;
  const std::string d = std::to_string(s.dimText.size());
  report.list();
  report.format("(A25,A" + d + ",A42,I" + w + ",A2)",
                {" [Número total de tablas ", s.dimText,
                 " resultantes (que cumplen esa condición) =", s.conditionCount, "]."});
  report.list();
  report.format("(A35,I" + w + ",A8,A" + d + ",A15,D20.14,A2)",
                {" [Suma de las probabilidades de las", s.conditionCount, " tablas ", s.dimText,
                 " resultantes = ", s.conditionSum, "]."});
}

// The sum as a p-value, or, when it underflowed, its description through the
// count and the largest log-probability: exact when the maximum was raised
// once (every accepted table shares it), an upper bound otherwise.
void writeSumNotes(Session& session, const std::string& w) {
  RecordWriter& report = session.report;
  const RunState& s = session.state;
  if (s.conditionSum > 0.0) {
    report.list();
    if (s.fisherMode == 1) {
      report.format("(A17)", {" [Test de Fisher:"});
      report.format("(A46,D20.14,A2)",
                    {"  p-Value de la tabla observada introducida = ", s.conditionSum, "]."});
      report.list();
    }
    return;
  }
  const std::string bound = "(I" + w + ",A4,E16.10,A3)";
  const bool exact = s.conditionMaxRaises == 1;
  report.list({"[La suma de las probabilidades es demasiado pequeña, y se escribe como 0."});
  report.format("(A13\\)", {"  Dicha suma "});
  if (exact) {
    report.format("(A10\\)", {"es igual a"});
  } else {
    report.format("(A12\\)", {"es menor que"});
  }
  report.format(bound, {s.conditionCount, "exp(", s.conditionMaxLog, ")]."});
  report.list();
  if (s.fisherMode == 1) {
    report.format("(A17)", {" [Test de Fisher:"});
    report.format("(A44\\)", {"  p-Value de la tabla observada introducida "});
    report.format("(A1\\)", {exact ? "=" : "<"});
    report.format(bound, {s.conditionCount, "exp(", s.conditionMaxLog, ")]."});
    report.list();
  }
}

// The note on which tables are listed, when not all of them are. Returns false
// when none is listed (the section ends).
bool writeListedNote(Session& session, const std::string& w) {
  RecordWriter& report = session.report;
  const RunState& s = session.state;
  if (s.t1 == 0 && s.t2 == 0) {
    report.list({"No se escribe ninguna tabla."});
    return false;
  }
  report.format("(A7,I" + w + "\\)", {" De las", s.conditionCount});
  if (s.t2 == 0) {
    report.format("(A66\\)",
                  {" tablas, sólo se escriben las T1 tablas de mayor probabilidad (T1="});
    report.format(listedCountFormat(s.t1), {s.t1});
    report.format("(A2)", {")."});
  } else if (s.t1 == 0) {
    report.format("(A66\\)",
                  {" tablas, sólo se escriben las T2 tablas de menor probabilidad (T2="});
    report.format(listedCountFormat(s.t2), {s.t2});
    report.format("(A2)", {")."});
  } else {
    report.format("(A61)", {" tablas, sólo se escriben las T1 tablas de mayor probabilidad"});
    report.format("(A44\\)", {" y las T2 tablas de menor probabilidad (T1 ="});
    report.format(listedCountFormat(s.t1), {s.t1});
    report.format("(A7\\)", {",  T2 ="});
    report.format(listedCountFormat(s.t2), {s.t2});
    report.format("(A2,/,A62)",
                  {"),", " con varias lineas de separación entre ambos grupos de tablas."});
  }
  return true;
}

void writeSeparator(RecordWriter& report) {
  report.list();
  report.list();
  for (int k = 0; k < 3; ++k) {
    report.list({" ", kArrows, kArrows, kArrows});
    report.list();
  }
  report.list();
}

void writeListing(Session& session, bool allListed) {
  RecordWriter& report = session.report;
  const RunState& s = session.state;
  const SelectionLists& lists = s.selection;
  constexpr bool kShowLog = true;

  if (s.t1 > 0) {
    report.list();
    for (int32_t k = lists.highKept; k >= 1; --k) {
      const int32_t slot = lists.highOrder[k];
      writeTableBlock(report, s, s.highTables.slot(slot), lists.highProb[slot],
                      lists.highLogProb[slot], kShowLog);
    }
  }
  const bool lowGroup = s.t2 > 0 && lists.lowKept > 0;
  if (s.t1 > 0 && !allListed && lowGroup) writeSeparator(report);
  if (lowGroup) {
    for (int32_t slot = lists.lowHead; slot > 0; slot = lists.lowNext[slot]) {
      writeTableBlock(report, s, s.lowTables.slot(slot), lists.lowProb[slot],
                      lists.lowLogProb[slot], kShowLog);
    }
    report.list();
  }
}

}  // namespace

void writeConditionedSection(Session& session) {
  RunState& s = session.state;
  RecordWriter& report = session.report;
  const bool optionB = s.runMode != 3;
  s.fisherMode = (s.tableEntered[2] && s.runMode == 3 && s.l == 0.0) ? 1 : 0;

  writeHeading(session, optionB);

  if (s.conditionCount == 0) {
    report.list();
    report.format(
        "(A25,A" + std::to_string(s.dimText.size()) + ",A45)",
        {" No existe ninguna tabla ", s.dimText, " de la distribución que cumpla esa condición."});
    return;
  }

  const std::string w = std::to_string(countField(s.conditionCount));
  writeCountAndSum(session, w);
  writeSumNotes(session, w);

  // T1 + T2 can exceed the 4-byte range (both may be typed as 2147483647).
  const bool allListed = int64_t{s.t1} + int64_t{s.t2} >= int64_t{s.conditionCount};
  if (!allListed && !writeListedNote(session, w)) return;

  report.list({"[Las tablas se escriben ordenadas de mayor a menor probabilidad]."});
  if (s.tinyProbabilityFlag == 1) {
    report.list();
    report.list({"[Algunas de las probabilidades son demasiado pequeñas y pueden aparecer "});
    report.list({" escritas como 0. En caso de probabilidades demasiado pequeñas, "});
    report.list({" se escribe también el logaritmo natural de la misma]."});
  }
  writeListing(session, allListed);
}

}  // namespace rxc
