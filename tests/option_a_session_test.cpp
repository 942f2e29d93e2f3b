// Whole option-A sessions, console and report compared in full: the modal
// and minimum sections, the questions for how many tables to write, tiny and
// underflowed minimum probabilities, and the equal-probability listing.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "base/fast_exp.h"
#include "support/console_texts.h"
#include "support/reference_enumeration.h"
#include "support/report_texts.h"
#include "support/session_driver.h"

namespace rxc {
namespace {

using testing::block;
using testing::joined;
using testing::kClosing;
using testing::kSeparator;
using testing::lines;
using testing::Lines;
using testing::operator<<;
using testing::expectSession;
using testing::progressAndTotal;
using testing::reportAsText;
using testing::reportHead;
using testing::runSession;

// The console from the introduction to the option-A prompt "  Opcion [1/2/3]: ",
// left open. `estimate` is the E13.6 field of the estimated number of tables.
std::string consoleUpToOptionA(const std::string& dim, int rows, int cols,
                               const std::string& estimate) {
  return testing::openingConsole(dim, rows, cols, estimate) + testing::optionsMenu(dim) +
         testing::kOptionPrompt + testing::optionAQuestions(dim) + testing::kChoicePrompt;
}

TEST(OptionASession, ModalMinimumAndBothSections) {
  // Rows 2, 2, 2 and columns 3, 3: seven tables; the one with every cell 1
  // has probability 0.4, the other six 0.1.
  const Lines modal =
      Lines({"", "", "  TABLAS 3x2 DE MÁXIMA PROBABILIDAD (Moda de la distribución):", "",
             "  [Número total de tablas 3x2 de máxima probabilidad = 1]", ""})
      << block({"    1    1", "    1    1", "    1    1"}, " 0.40000000000000D+00");
  // In generation order: (x11, x21) = (0,1), (0,2), (1,0), (1,2), (2,0), (2,1).
  Lines minimum({"", "", "  TABLAS 3x2 DE MÍNIMA PROBABILIDAD:", "",
                 "  [Número total de tablas 3x2 de mínima probabilidad = 6]", "", ""});
  for (const Lines& rows : {Lines({"    0    2", "    1    1", "    2    0"}),
                            Lines({"    0    2", "    2    0", "    1    1"}),
                            Lines({"    1    1", "    0    2", "    2    0"}),
                            Lines({"    1    1", "    2    0", "    0    2"}),
                            Lines({"    2    0", "    0    2", "    1    1"}),
                            Lines({"    2    0", "    1    1", "    0    2"})}) {
    minimum << block(rows, " 0.10000000000000D+00");
  }
  const struct {
    const char* answers;
    int prompts;
    Lines sections;
  } cases[] = {
      {"1\n\n", 1, modal},
      {"2\n\n", 1, minimum},
      // Out-of-range choices are asked again before 3 is accepted.
      {"0\n4\n3\n\n", 3, Lines(modal) << kSeparator << minimum},
  };
  for (const auto& c : cases) {
    std::string console = consoleUpToOptionA("3x2", 3, 2, " 0.761656E+01");
    for (int k = 1; k < c.prompts; ++k) console += testing::kChoicePrompt;
    expectSession("3\n2\n2\n2\n2\n3\n3\nA\n" + std::string(c.answers),
                  console + progressAndTotal("3x2", " 7") + kClosing,
                  reportHead("3x2", "2,  2,  2", "3,  3", " 7") << c.sections);
  }
}

TEST(OptionASession, EqualProbabilitiesListTheFirstTablesAskedFor) {
  // Rows 1, 1 and columns 1, 1: two tables of probability 0.5 each. T = 0, 1
  // and 5 (more than there are).
  const std::string console =
      consoleUpToOptionA("2x2", 2, 2, " 0.225676E+01") + progressAndTotal("2x2", " 2") +
      lines({"", "", "  No existen tablas 2x2 de maxima probabilidad ni de minima probabilidad.",
             "  Todas las tablas 2x2 de la distribucion tienen la misma probabilidad.", ""}) +
      "  Introducir numero de tablas de la distribucion que desea escribir: " + kClosing;
  const Lines start =
      reportHead("2x2", "1,  1", "1,  1", " 2")
      << Lines({"  No existen tablas 2x2 de máxima probabilidad (moda) ni de mínima probabilidad.",
                "  Todas las tablas 2x2 de la distribución tienen la misma probabilidad.", ""});
  const Lines first = block({"    0    1", "    1    0"}, " 0.50000000000000D+00");
  const Lines second = block({"    1    0", "    0    1"}, " 0.50000000000000D+00");
  const struct {
    const char* t;
    Lines rest;
  } cases[] = {
      {"0", {"  No se escribe ninguna tabla."}},
      {"1", Lines({"  Sólo se escriben las T primeras tablas generadas (T= 1).", ""}) << first},
      {"5", Lines({"  Se escriben todas las tabla de la distribución.", ""}) << first << second},
  };
  for (const auto& c : cases) {
    expectSession("2\n2\n1\n1\n1\n1\nA\n3\n" + std::string(c.t) + "\n\n", console,
                  Lines(start) << c.rest);
  }
}

TEST(OptionASession, QuestionsForHowManyTablesToWrite) {
  // Rows 4, 4 and columns 2, 1, 1, 1, 1, 1, 1: x11 = 1 makes a table most
  // probable (20 tables: row 1 takes 3 of the six single columns); x11 = 0 or
  // 2 least probable (15 + 15 tables). 0 modal tables; -1 and 500001 refused,
  // then 2 minimum tables.
  // The answers end no line: a re-asked prompt continues its record, and the
  // message, too long for what is left of it, starts a record of its own.
  const std::string console =
      consoleUpToOptionA("2x7", 2, 7, " 0.520374E+02") + progressAndTotal("2x7", " 50") +
      lines({"", "", "", "", "  Numero total de tablas 2x7 de maxima probabilidad = 20", "",
             testing::kModalPrompt, "", "", "",
             "  Numero total de tablas 2x7 de minima probabilidad = 30", "",
             testing::kMinimumPrompt + testing::kMinimumPrompt + " ",
             "  No puede ser mayor que 500000."}) +
      testing::kMinimumPrompt + kClosing;
  // The first two of x11 = 0: row 1 takes the last four single columns, then
  // the first and the last three. Probability 4! 4! 2! / (8! 2!) = 1/70.
  const Lines report =
      reportHead("2x7", "4,  4", "2,  1,  1,  1,  1,  1,  1", " 50")
      << Lines({"", "", "  TABLAS 2x7 DE MÁXIMA PROBABILIDAD (Moda de la distribución):", "",
                "  [Número total de tablas 2x7 de máxima probabilidad = 20]",
                "  [No se escribe ninguna tabla de máxima probabilidad]."})
      << kSeparator
      << Lines({"", "", "  TABLAS 2x7 DE MÍNIMA PROBABILIDAD:", "",
                "  [Número total de tablas 2x7 de mínima probabilidad = 30]", "",
                "  [Se escriben 2 tablas de mínima probabilidad].", ""})
      << block({"    0    0    0    1    1    1    1", "    2    1    1    0    0    0    0"},
               " 0.14285714285714D-01")
      << block({"    0    0    1    0    1    1    1", "    2    1    0    1    0    0    0"},
               " 0.14285714285714D-01");
  expectSession("2\n7\n4\n4\n2\n1\n1\n1\n1\n1\n1\nA\n3\n0\n-1\n500001\n2\n\n", console, report);
}

TEST(OptionASession, NullAnswersKeepKAndT) {
  // The 2 x 7 case above. K is one variable for both sections: 1 for the
  // modal tables, then a null answer for the minimum ones keeps 1. The modal
  // tables have probability 4! 4! 2! / 8! = 1/35; the first has x11 = 1 and
  // row 1 on the last three single columns.
  const std::string console =
      consoleUpToOptionA("2x7", 2, 7, " 0.520374E+02") + progressAndTotal("2x7", " 50") +
      lines({"", "", "", "", "  Numero total de tablas 2x7 de maxima probabilidad = 20", "",
             testing::kModalPrompt, "", "", "",
             "  Numero total de tablas 2x7 de minima probabilidad = 30", ""}) +
      testing::kMinimumPrompt + kClosing;
  const Lines report =
      reportHead("2x7", "4,  4", "2,  1,  1,  1,  1,  1,  1", " 50")
      << Lines({"", "", "  TABLAS 2x7 DE MÁXIMA PROBABILIDAD (Moda de la distribución):", "",
                "  [Número total de tablas 2x7 de máxima probabilidad = 20]",
                "  [Se escriben 1 tablas de máxima probabilidad].", ""})
      << block({"    1    0    0    0    1    1    1", "    1    1    1    1    0    0    0"},
               " 0.28571428571429D-01")
      << kSeparator
      << Lines({"", "", "  TABLAS 2x7 DE MÍNIMA PROBABILIDAD:", "",
                "  [Número total de tablas 2x7 de mínima probabilidad = 30]", "",
                "  [Se escriben 1 tablas de mínima probabilidad].", ""})
      << block({"    0    0    0    1    1    1    1", "    2    1    1    0    0    0    0"},
               " 0.14285714285714D-01");
  expectSession("2\n7\n4\n4\n2\n1\n1\n1\n1\n1\n1\nA\n3\n1\n,\n\n", console, report);

  // T starts at 0: a null answer writes no table.
  const auto outcome = runSession("2\n2\n1\n1\n1\n1\nA\n3\n,\n\n");
  EXPECT_EQ(outcome.status, 0) << outcome.errors;
  const std::string text = reportAsText(outcome.report);
  EXPECT_EQ(text.substr(text.size() - 32), "\n  No se escribe ninguna tabla.\n") << text;
}

// Rows a, a and columns a, a: the least probable tables are x11 = 0 and
// x11 = a, of probability 1 / C(2a, a), written with its logarithm.
void expectTinyMinimum(int a, const std::string& estimate, const Lines& note,
                       const std::string& prob, const std::string& log) {
  const std::string m = std::to_string(a), margins = m + ",  " + m;
  const std::string total = " " + std::to_string(a + 1);
  const std::string w = std::string(6 - m.size(), ' ');
  expectSession(
      "2\n2\n" + m + "\n" + m + "\n" + m + "\n" + m + "\nA\n2\n\n",
      consoleUpToOptionA("2x2", 2, 2, estimate) + progressAndTotal("2x2", total) + kClosing,
      reportHead("2x2", margins, margins, total)
          << Lines({"", "", "  TABLAS 2x2 DE MÍNIMA PROBABILIDAD:", "",
                    "  [Número total de tablas 2x2 de mínima probabilidad = 2]", ""})
          << note << Lines({""}) << block({"     0" + w + m, w + m + "     0"}, prob, log)
          << block({w + m + "     0", "     0" + w + m}, prob, log));
}

TEST(OptionASession, MinimumProbabilityThatUnderflowsToZero) {
  // 1 / C(2000, 1000) = 4.88e-601, ln = -1382.26799353748005855...
  expectTinyMinimum(1000, " 0.978183E+03",
                    {"  [La probabilidad es demasiado pequeña y se escribe como 0.",
                     "   Se escribe también el logaritmo natural de la probabilidad]."},
                    " 0.00000000000000D+00", "-0.138226799354D+04");
}

TEST(OptionASession, MinimumProbabilityBelowTinyButNotZero) {
  // 1 / C(1020, 510) = 3.5634518248624622716e-306, a normal double below
  // 1e-305; ln = -703.32030876736037749... The log-probability summed in the
  // documented order is off by about 3e-13, which the last digits show.
  const double logProb = testing::everyTable({510, 510}, {510, 510}).front().logProb;
  EXPECT_NEAR(logProb, -703.32030876736037749, 1e-12);
  EXPECT_NEAR(fastExp(logProb) / 3.5634518248635e-306, 1.0, 1.4e-14);
  expectTinyMinimum(510, " 0.499353E+03",
                    {"  [La probabilidad es demasiado pequeña, y se escribe también el",
                     "   logaritmo natural de la misma]."},
                    " 0.35634518248635-305", "-0.703320308767D+03");
}

}  // namespace
}  // namespace rxc
