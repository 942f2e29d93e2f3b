// Whole option-A sessions, console and report compared in full: the modal
// and minimum sections, the questions for how many tables to write, tiny and
// underflowed minimum probabilities, and the equal-probability listing.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "report/number_format.h"
#include "support/console_texts.h"
#include "support/session_driver.h"

namespace rxc {
namespace {

using testing::kChoicePrompt;
using testing::kClosing;
using testing::kOptionPrompt;
using testing::lines;
using testing::openingConsole;
using testing::optionAQuestions;
using testing::optionsMenu;
using testing::progressAndTotal;
using testing::reportAsText;
using testing::runSession;

std::string joined(const std::vector<std::string>& text) {
  std::string out;
  for (const std::string& line : text) out += line + "\n";
  return out;
}

void append(std::vector<std::string>& to, const std::vector<std::string>& more) {
  to.insert(to.end(), more.begin(), more.end());
}

std::string rightJustified(const std::string& text, size_t width) {
  return std::string(width - text.size(), ' ') + text;
}

// The console from the introduction to the option-A prompt "  Opcion [1/2/3]: ",
// left open. `estimate` is the E13.6 field of the estimated number of tables.
std::string consoleUpToOptionA(const std::string& dim, int rows, int cols,
                               const std::string& estimate) {
  return openingConsole(dim, rows, cols, estimate) + optionsMenu(dim) + kOptionPrompt +
         optionAQuestions(dim) + kChoicePrompt;
}

std::vector<std::string> reportHead(const std::string& dim, const std::string& rowsLine,
                                    const std::string& colsLine) {
  return {"",
          "",
          "  DISTRIBUCIÓN DE PROBABILIDAD DE LAS TABLAS " + dim + " CON MARGINALES FIJOS,",
          "  Y BAJO EL SUPUESTO DE INDEPENDENCIA ENTRE FILAS Y COLUMNAS.",
          "",
          "  Marginales filas:   " + rowsLine,
          "  Marginales columnas:" + colsLine,
          "",
          "",
          "",
          "  Numero total de tablas " + dim + " de la distribucion =" + std::string(""),
          ""};
}

// A narrow table block: cells in `width` columns, the probability after the
// first row, the logarithm (when given) after the second.
std::vector<std::string> block(const std::vector<std::vector<int>>& rows, int width,
                               const std::string& prob, const std::string& log = "") {
  std::vector<std::string> out = {""};
  for (size_t i = 0; i < rows.size(); ++i) {
    std::string line;
    for (int v : rows[i]) line += rightJustified(std::to_string(v), static_cast<size_t>(width));
    if (i == 0) line += "      Prob.=" + prob;
    if (i == 1 && !log.empty()) line += "      log(Prob.)=" + log;
    out.push_back(line);
  }
  out.push_back("");
  return out;
}

const std::string kArrowLine = "  " + std::string(60, '>');
const std::vector<std::string> kSeparator = {"", "",         kArrowLine, "", kArrowLine,
                                             "", kArrowLine, "",         ""};

// ---------------------------------------------------------------------------
// Rows 2, 2, 2 and columns 3, 3: seven tables; the one with every cell 1 has
// probability 0.4, the other six 0.1.

const std::string kSmallInput = "3\n2\n2\n2\n2\n3\n3\nA\n";

std::string smallConsole() {
  return consoleUpToOptionA("3x2", 3, 2, " 0.761656E+01") + progressAndTotal("3x2", " 7") +
         kClosing;
}

std::vector<std::string> smallReportStart() {
  std::vector<std::string> report = reportHead("3x2", "  2,  2,  2", "  3,  3");
  report[report.size() - 2] += " 7";
  return report;
}

const std::vector<std::string> kModalSection = [] {
  std::vector<std::string> out = {"",
                                  "",
                                  "  TABLAS 3x2 DE MÁXIMA PROBABILIDAD (Moda de la distribución):",
                                  "",
                                  "  [Número total de tablas 3x2 de máxima probabilidad = 1]",
                                  ""};
  append(out, block({{1, 1}, {1, 1}, {1, 1}}, 5, " 0.40000000000000D+00"));
  return out;
}();

const std::vector<std::string> kMinimumSection = [] {
  std::vector<std::string> out = {"",
                                  "",
                                  "  TABLAS 3x2 DE MÍNIMA PROBABILIDAD:",
                                  "",
                                  "  [Número total de tablas 3x2 de mínima probabilidad = 6]",
                                  "",
                                  ""};
  // In generation order: (x11, x21) = (0,1), (0,2), (1,0), (1,2), (2,0), (2,1).
  const std::vector<std::vector<std::vector<int>>> tables = {
      {{0, 2}, {1, 1}, {2, 0}}, {{0, 2}, {2, 0}, {1, 1}}, {{1, 1}, {0, 2}, {2, 0}},
      {{1, 1}, {2, 0}, {0, 2}}, {{2, 0}, {0, 2}, {1, 1}}, {{2, 0}, {1, 1}, {0, 2}}};
  for (const auto& t : tables) append(out, block(t, 5, " 0.10000000000000D+00"));
  return out;
}();

TEST(OptionASession, ModalTablesOnly) {
  const auto outcome = runSession(kSmallInput + "1\n\n");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.console, smallConsole());
  std::vector<std::string> report = smallReportStart();
  append(report, kModalSection);
  EXPECT_EQ(reportAsText(outcome.report), joined(report));
}

TEST(OptionASession, MinimumTablesOnly) {
  const auto outcome = runSession(kSmallInput + "2\n\n");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.console, smallConsole());
  std::vector<std::string> report = smallReportStart();
  append(report, kMinimumSection);
  EXPECT_EQ(reportAsText(outcome.report), joined(report));
}

TEST(OptionASession, BothSectionsWithTheSeparator) {
  // Out-of-range choices are asked again before 3 is accepted.
  const auto outcome = runSession(kSmallInput + "0\n4\n3\n\n");
  EXPECT_EQ(outcome.status, 0);
  const std::string optionPrompt = "\n\n  Opcion [1/2/3]: ";
  EXPECT_EQ(outcome.console, consoleUpToOptionA("3x2", 3, 2, " 0.761656E+01") + optionPrompt +
                                 optionPrompt + progressAndTotal("3x2", " 7") + kClosing);
  std::vector<std::string> report = smallReportStart();
  append(report, kModalSection);
  append(report, kSeparator);
  append(report, kMinimumSection);
  EXPECT_EQ(reportAsText(outcome.report), joined(report));
}

// ---------------------------------------------------------------------------
// Rows 1, 1 and columns 1, 1: two tables of probability 0.5 each.

const std::string kEqualInput = "2\n2\n1\n1\n1\n1\nA\n3\n";

std::string equalConsole() {
  return consoleUpToOptionA("2x2", 2, 2, " 0.225676E+01") + progressAndTotal("2x2", " 2") +
         joined({"", "",
                 "  No existen tablas 2x2 de maxima probabilidad ni de minima probabilidad.",
                 "  Todas las tablas 2x2 de la distribucion tienen la misma probabilidad.", ""}) +
         "  Introducir numero de tablas de la distribucion que desea escribir: " + kClosing;
}

std::vector<std::string> equalReportStart() {
  std::vector<std::string> report = reportHead("2x2", "  1,  1", "  1,  1");
  report[report.size() - 2] += " 2";
  append(report,
         {"  No existen tablas 2x2 de máxima probabilidad (moda) ni de mínima probabilidad.",
          "  Todas las tablas 2x2 de la distribución tienen la misma probabilidad.", ""});
  return report;
}

TEST(OptionASession, EqualProbabilitiesWithNoTableToWrite) {
  const auto outcome = runSession(kEqualInput + "0\n\n");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.console, equalConsole());
  std::vector<std::string> report = equalReportStart();
  report.push_back("  No se escribe ninguna tabla.");
  EXPECT_EQ(reportAsText(outcome.report), joined(report));
}

TEST(OptionASession, EqualProbabilitiesWritesTheFirstTable) {
  const auto outcome = runSession(kEqualInput + "1\n\n");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.console, equalConsole());
  std::vector<std::string> report = equalReportStart();
  append(report, {"  Sólo se escriben las T primeras tablas generadas (T= 1).", ""});
  append(report, block({{0, 1}, {1, 0}}, 5, " 0.50000000000000D+00"));
  EXPECT_EQ(reportAsText(outcome.report), joined(report));
}

TEST(OptionASession, EqualProbabilitiesWritesEveryTableWhenAskedForMore) {
  const auto outcome = runSession(kEqualInput + "5\n\n");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.console, equalConsole());
  std::vector<std::string> report = equalReportStart();
  append(report, {"  Se escriben todas las tabla de la distribución.", ""});
  append(report, block({{0, 1}, {1, 0}}, 5, " 0.50000000000000D+00"));
  append(report, block({{1, 0}, {0, 1}}, 5, " 0.50000000000000D+00"));
  EXPECT_EQ(reportAsText(outcome.report), joined(report));
}

// ---------------------------------------------------------------------------
// Rows 4, 4 and columns 2, 1, 1, 1, 1, 1, 1: x11 = 1 makes a table most
// probable (20 tables: row 1 takes 3 of the six single columns); x11 = 0 or 2
// least probable (15 + 15 tables).

TEST(OptionASession, QuestionsForHowManyTablesToWrite) {
  const std::string modalPrompt =
      "  Introducir numero de tablas de maxima probabilidad a escribir: ";
  const std::string minimumPrompt =
      "  Introducir numero de tablas de minima probabilidad a escribir: ";
  const auto outcome = runSession("2\n7\n4\n4\n2\n1\n1\n1\n1\n1\n1\nA\n3\n0\n-1\n500001\n2\n\n");
  EXPECT_EQ(outcome.status, 0);
  // The answers end no line: a re-asked prompt continues its record, and the
  // message, too long for what is left of it, starts a record of its own.
  EXPECT_EQ(outcome.console,
            consoleUpToOptionA("2x7", 2, 7, " 0.520374E+02") + progressAndTotal("2x7", " 50") +
                joined({"", "", "", "", "  Numero total de tablas 2x7 de maxima probabilidad = 20",
                        "", modalPrompt, "", "", "",
                        "  Numero total de tablas 2x7 de minima probabilidad = 30", "",
                        minimumPrompt + minimumPrompt + " ", "  No puede ser mayor que 500000."}) +
                minimumPrompt + kClosing);

  std::vector<std::string> report = reportHead("2x7", "  4,  4", "  2,  1,  1,  1,  1,  1,  1");
  report[report.size() - 2] += " 50";
  append(report, {"", "", "  TABLAS 2x7 DE MÁXIMA PROBABILIDAD (Moda de la distribución):", "",
                  "  [Número total de tablas 2x7 de máxima probabilidad = 20]",
                  "  [No se escribe ninguna tabla de máxima probabilidad]."});
  append(report, kSeparator);
  append(report, {"", "", "  TABLAS 2x7 DE MÍNIMA PROBABILIDAD:", "",
                  "  [Número total de tablas 2x7 de mínima probabilidad = 30]", "",
                  "  [Se escriben 2 tablas de mínima probabilidad].", ""});
  // The first two of x11 = 0: row 1 takes the last four single columns, then
  // the first and the last three. Probability 4! 4! 2! / (8! 2!) = 1/70.
  append(report, block({{0, 0, 0, 1, 1, 1, 1}, {2, 1, 1, 0, 0, 0, 0}}, 5, " 0.14285714285714D-01"));
  append(report, block({{0, 0, 1, 0, 1, 1, 1}, {2, 1, 0, 1, 0, 0, 0}}, 5, " 0.14285714285714D-01"));
  EXPECT_EQ(reportAsText(outcome.report), joined(report));
}

// ---------------------------------------------------------------------------
// Rows a, a and columns a, a: the least probable tables are x11 = 0 and
// x11 = a, with probability 1 / C(2a, a). Their log-probability is formed
// here with the program's own arithmetic (ln k! as a running sum, the
// marginal constant, then the cells in their fixed order), so that the
// written digits can be compared exactly.

double referenceMinimumLogProb(int a) {
  std::vector<double> logFactorial(static_cast<size_t>(2 * a + 1), 0.0);
  for (int k = 1; k <= 2 * a; ++k)
    logFactorial[k] = std::log(static_cast<double>(k)) + logFactorial[k - 1];
  double marginConst = 0.0;
  for (int k = 0; k < 4; ++k) marginConst += logFactorial[a];
  marginConst -= logFactorial[2 * a];
  // x11 = 0, then x21 = a (last row), x12 = a (last column), x22 = 0 (corner).
  const double cells =
      ((0.0 + logFactorial[0]) + logFactorial[a]) + logFactorial[a] + logFactorial[0];
  return marginConst - cells;
}

std::vector<std::string> tinyMinimumReport(int a, const std::vector<std::string>& notes) {
  const std::string margin = std::to_string(a);
  const std::string total = " " + std::to_string(a + 1);
  std::vector<std::string> report =
      reportHead("2x2", "  " + margin + ",  " + margin, "  " + margin + ",  " + margin);
  report[report.size() - 2] += total;
  append(report, {"", "", "  TABLAS 2x2 DE MÍNIMA PROBABILIDAD:", "",
                  "  [Número total de tablas 2x2 de mínima probabilidad = 2]", ""});
  append(report, notes);
  report.push_back("");
  const double logProb = referenceMinimumLogProb(a);
  const std::string prob = formatExponent(std::exp(logProb), 21, 14, 'D');
  const std::string log = formatExponent(logProb, 19, 12, 'D');
  append(report, block({{0, a}, {a, 0}}, 6, prob, log));
  append(report, block({{a, 0}, {0, a}}, 6, prob, log));
  return report;
}

TEST(OptionASession, MinimumProbabilityThatUnderflowsToZero) {
  const auto outcome = runSession("2\n2\n1000\n1000\n1000\n1000\nA\n2\n\n");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.console, consoleUpToOptionA("2x2", 2, 2, " 0.978183E+03") +
                                 progressAndTotal("2x2", " 1001") + kClosing);
  // ln(1 / C(2000, 1000)) = -1382.267993537480058...: far below the range of exp.
  EXPECT_NEAR(referenceMinimumLogProb(1000), -1382.267993537480058, 1e-9);
  ASSERT_EQ(std::exp(referenceMinimumLogProb(1000)), 0.0);
  EXPECT_EQ(reportAsText(outcome.report),
            joined(tinyMinimumReport(
                1000, {"  [La probabilidad es demasiado pequeña y se escribe como 0.",
                       "   Se escribe también el logaritmo natural de la probabilidad]."})));
}

TEST(OptionASession, MinimumProbabilityBelowTinyButNotZero) {
  const auto outcome = runSession("2\n2\n510\n510\n510\n510\nA\n2\n\n");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.console, consoleUpToOptionA("2x2", 2, 2, " 0.499353E+03") +
                                 progressAndTotal("2x2", " 511") + kClosing);
  // 1 / C(1020, 510) = 3.5634518248624622716e-306: a normal double below 1e-305.
  EXPECT_NEAR(std::exp(referenceMinimumLogProb(510)) / 3.5634518248624622716e-306, 1.0, 1e-10);
  EXPECT_EQ(reportAsText(outcome.report),
            joined(tinyMinimumReport(
                510, {"  [La probabilidad es demasiado pequeña, y se escribe también el",
                      "   logaritmo natural de la misma]."})));
}

}  // namespace
}  // namespace rxc
