// The result options dialogue: the menu and its line breaks for every table
// size, option A, the bounds of options B and C (typed or as observed tables)
// with their checks, the empty condition, T1 and T2. Most tests drive the
// dialogue on a session whose marginals are set by hand and compare the whole
// console text; the last ones run whole sessions.
#include "dialogue/options_dialogue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <variant>
#include <vector>

#include "dialogue/bounds_rule.h"
#include "support/console_texts.h"
#include "support/dialogue_harness.h"
#include "support/session_driver.h"

namespace rxc {
namespace {

using testing::boundQuestion;
using testing::boundsError;
using testing::DialogueHarness;
using testing::emptyCondition;
using testing::kChoicePrompt;
using testing::kCountsPrompts;
using testing::kOptionPrompt;
using testing::lines;
using testing::observedEntry;
using testing::openingConsole;
using testing::optionAQuestions;
using testing::optionsMenu;
using testing::typedBound;
using testing::valuePrompt;

const std::vector<int16_t> kOnes2 = {1, 1};

Request runDialogue(DialogueHarness& h) { return runOptionsDialogue(h.io(), h.problem()); }
const ConditionRequest& conditionOf(const Request& request) {
  return std::get<ConditionRequest>(request);
}
const std::string kTypedBounds = typedBound("2x2", 'L') + typedBound("2x2", 'U');

TEST(OptionA, MenuLineBreaksAndEachChoiceWithOutOfRangeAnswersAskedAgain) {
  // The menu's breaks move with the table size. "0", "4", an empty line (0),
  // "-1" and "1234" (read as 123) are refused.
  const struct {
    int r, c;
    const char* dim;
    const char* input;
    int16_t choice;
    int prompts;
  } cases[] = {{2, 2, "2x2", "a\n1\n", 1, 1},
               {10, 10, "10x10", "A\n0\n4\n2\n", 2, 3},
               {100, 10, "100x10", "a\n\n-1\n1234\n 3\n", 3, 4},
               {100, 100, "100x100", "A\n3\n", 3, 1}};
  for (const auto& c : cases) {
    DialogueHarness h(c.input, std::vector<int16_t>(c.r, 1), std::vector<int16_t>(c.c, 1));
    const Request request = runDialogue(h);
    std::string prompts;
    for (int k = 0; k < c.prompts; ++k) prompts += kChoicePrompt;
    EXPECT_EQ(h.console(), optionsMenu(c.dim) + kOptionPrompt + optionAQuestions(c.dim) + prompts)
        << c.input;
    ASSERT_TRUE(std::holds_alternative<OptionARequest>(request));
    EXPECT_EQ(std::get<OptionARequest>(request).extremeOption,
              static_cast<ExtremeOption>(c.choice));
  }
}

TEST(OptionPrompt, OnlyTheFirstCharacterCountsAndBadLettersAskAgain) {
  // " a" (leading blank), "x", an empty line and "D" are refused; "bcd" is B.
  DialogueHarness h(" a\nx\n\nD\nbcd\nn\n0.2\nN\n0.5\n3\n4\n", kOnes2, kOnes2);
  const Request request = runDialogue(h);
  EXPECT_EQ(h.console(), optionsMenu("2x2") + kOptionPrompt + kOptionPrompt + kOptionPrompt +
                             kOptionPrompt + kOptionPrompt + kTypedBounds + kCountsPrompts);
  EXPECT_FALSE(conditionOf(request).inclusive);  // option B
}

TEST(OptionsBAndC, OutOfRangeValuesAndBadAnswersAskAgainSilently) {
  // Y/N question: "q" and an empty line repeat it on the open line. L: 1.5 and
  // -0.1 are refused, "0,5" reads 0 (the comma ends the value). U: 1 is taken.
  // T1: -1 is refused; T2: -7 too.
  DialogueHarness typed("B\nq\n\nN\n1.5\n-0.1\n0,5\nn\n1\n-1\n5\n-7\n0\n", kOnes2, kOnes2);
  const Request request = runDialogue(typed);
  const std::string question =
      " Desea introducir una tabla 2x2 observada en lugar de un valor L? [Y/N]: ";
  EXPECT_EQ(typed.console(), optionsMenu("2x2") + kOptionPrompt + "\n\n" + question + question +
                                 question + valuePrompt('L') + valuePrompt('L') + valuePrompt('L') +
                                 boundQuestion("2x2", 'U') + valuePrompt('U') +
                                 "\n\n\n  Introducir valores T1 y T2 [T1>=0  y  T2>=0]:\n"
                                 "      T1=       T1=       T2=       T2= ");
  const ConditionRequest& s = conditionOf(request);
  EXPECT_TRUE(s.lower.typedAs(0.0));
  EXPECT_FALSE(s.lower.logValue.has_value());
  EXPECT_TRUE(s.upper.typedAs(1.0));
  EXPECT_EQ(s.t1, 5);
  EXPECT_EQ(s.t2, 0);
}

TEST(OptionsBAndC, NullValuesAskLAndUAgainAndKeepT1AndT2) {
  // L and U start at 9.0, so a null value ("," or ",5") is out of range and
  // asked again. T1 starts at 0 and keeps it; T2 keeps the -2 refused before.
  DialogueHarness h("B\nN\n,\n0.2\nN\n ,5\n0.5\n,\n-2\n,\n3\n", kOnes2, kOnes2);
  const Request request = runDialogue(h);
  EXPECT_EQ(h.console(), optionsMenu("2x2") + kOptionPrompt + typedBound("2x2", 'L') +
                             valuePrompt('L') + typedBound("2x2", 'U') + valuePrompt('U') +
                             kCountsPrompts + "      T2=       T2= ");
  const ConditionRequest& s = conditionOf(request);
  EXPECT_TRUE(s.lower.typedAs(0.2));
  EXPECT_TRUE(s.upper.typedAs(0.5));
  EXPECT_EQ(s.t1, 0);
  EXPECT_EQ(s.t2, 3);
}

TEST(OptionsBAndC, BoundTooSmallForAnEightByteRealIsAskedAgain) {
  // Option C, L = 0: U typed as 1e-400 is not zero, but no 8-byte real holds
  // it; read as 0 it would leave a condition no table meets. It is asked
  // again, and 1e-300 is taken. "-0" for L is 0.
  DialogueHarness h("C\nN\n-0\nN\n1e-400\n1e-300\n0\n0\n", kOnes2, kOnes2);
  const Request request = runDialogue(h);
  EXPECT_EQ(h.console(),
            optionsMenu("2x2") + kOptionPrompt + kTypedBounds + valuePrompt('U') + kCountsPrompts);
  const ConditionRequest& s = conditionOf(request);
  EXPECT_TRUE(s.lower.typedAs(0.0));
  EXPECT_FALSE(std::signbit(s.lower.value));
  EXPECT_TRUE(s.upper.typedAs(1e-300));
  EXPECT_NEAR(*s.upper.logValue, -690.77552789821368, 1e-12);
}

TEST(OptionsBAndC, InconsistentBoundsShowTheErrorAndAskBothAgain) {
  const struct {
    const char* input;
    bool optionC;
    double l;
  } cases[] = {
      // Option B with L = U = 0.5 is refused ("menor que U"), then L = 0.25 passes.
      {"b\nn\n0.5\nn\n0.5\nn\n0.25\nn\n0.5\n0\n0\n", false, 0.25},
      // Option C with L = 0.6 above U = 0.5 is refused ("menor o igual que
      // U"); then L = U = 0.5 passes, the tolerance making equal logarithms pass.
      {"c\nn\n0.6\nn\n0.5\nn\n0.5\nn\n0.5\n1\n1\n", true, 0.5},
  };
  for (const auto& c : cases) {
    DialogueHarness h(c.input, kOnes2, kOnes2);
    const Request request = runDialogue(h);
    EXPECT_EQ(h.console(), optionsMenu("2x2") + kOptionPrompt + kTypedBounds +
                               boundsError(c.optionC) + kTypedBounds + kCountsPrompts);
    EXPECT_TRUE(conditionOf(request).lower.typedAs(c.l));
    EXPECT_EQ(conditionOf(request).inclusive, c.optionC);
  }
}

TEST(OptionsBAndC, EmptyConditionAnsweredYesThenNo) {
  // C with L = U = 0: the condition message; "x" repeats the question; Y
  // enters the bounds again; L = U = 1 is empty too, and N ends the dialogue
  // with RunMode 4 and no T1/T2 questions.
  DialogueHarness h("c\nn\n0\nn\n0\nx\ny\nn\n1\nn\n1\nN\n", kOnes2, kOnes2);
  const Request request = runDialogue(h);
  const std::string again = "  Desea volver a introducir L, U, o tablas observadas? [Y/N]: \n\n";
  EXPECT_EQ(h.console(), optionsMenu("2x2") + kOptionPrompt + kTypedBounds + emptyCondition("2x2") +
                             again + kTypedBounds + emptyCondition("2x2"));
  EXPECT_TRUE(conditionOf(request).nothingCanMeet);
  EXPECT_TRUE(conditionOf(request).inclusive);
  EXPECT_EQ(conditionOf(request).t1, 0);
  EXPECT_EQ(conditionOf(request).t2, 0);
}

TEST(OptionsBAndC, ObservedTablesAsBounds) {
  // 2 x 2 with all marginals 1: the diagonal table has probability 1/2. Option
  // B with L given as that table and U = 0.5 typed is refused; then L = 0.25
  // typed and U given as the same table passes.
  DialogueHarness h("b\ny\n1\n0\n0\n1\nn\n0.5\nn\n0.25\nY\n1\n0\n0\n1\n2\n0\n", kOnes2, kOnes2);
  const Request request = runDialogue(h);
  const std::string table = observedEntry("2x2", 2, 2, "  0.500000000000000     ");
  EXPECT_EQ(h.console(), optionsMenu("2x2") + kOptionPrompt + boundQuestion("2x2", 'L') + table +
                             typedBound("2x2", 'U') + boundsError(false) + typedBound("2x2", 'L') +
                             boundQuestion("2x2", 'U') + table + kCountsPrompts);
  const ConditionRequest& s = conditionOf(request);
  EXPECT_FALSE(s.lower.tableEntered());
  EXPECT_TRUE(s.upper.tableEntered());
  EXPECT_TRUE(s.lower.typedAs(0.25));
  EXPECT_FALSE(s.upper.typedAs(0.5));  // a table matches no typed value
  EXPECT_DOUBLE_EQ(s.upper.value, 0.5);
  EXPECT_DOUBLE_EQ(*s.upper.logValue, -0.6931471805599453);
  EXPECT_EQ(s.upper.observedTable, (std::vector<int16_t>{1, 0, 0, 1}));
  EXPECT_EQ(s.t1, 2);
}

// A typed number (its logarithm when above 0), or an observed table's
// probability and log-probability.
Bound typed(double value) {
  Bound b;
  b.value = value;
  if (value > 0.0) b.logValue = std::log(value);
  return b;
}
Bound table(double logProb) {
  Bound b;
  b.source = Bound::Source::kObservedTable;
  b.logValue = logProb;
  b.value = std::exp(logProb);
  return b;
}

TEST(BoundsRule, ConsistencyOfTypedEntriesAndLogarithms) {
  const bool kOptionB = false, kOptionC = true;
  const double ln05 = std::log(0.5);
  // Equal and reversed bounds are in the dialogue tests. Option C: L = 0 or
  // U = 1 typed always pass; U = 0 typed otherwise fails.
  EXPECT_TRUE(boundsConsistent(kOptionC, typed(0.0), typed(0.0)));
  EXPECT_TRUE(boundsConsistent(kOptionC, typed(0.7), typed(1.0)));
  EXPECT_FALSE(boundsConsistent(kOptionC, typed(0.5), typed(0.0)));
  // Within the tolerance (2.22e-13 relative) a slightly larger L still passes.
  EXPECT_TRUE(boundsConsistent(kOptionC, table(ln05 * (1 - 1e-13)), typed(0.5)));
  EXPECT_FALSE(boundsConsistent(kOptionC, table(ln05 * (1 - 1e-12)), typed(0.5)));
  // A table whose probability underflowed still compares through its log.
  EXPECT_TRUE(boundsConsistent(kOptionC, table(-11477.8), typed(0.5)));
  // Option B: U = 0 typed always fails, then L = 0 typed passes; the band
  // works the other way.
  EXPECT_FALSE(boundsConsistent(kOptionB, typed(0.0), typed(0.0)));
  EXPECT_TRUE(boundsConsistent(kOptionB, typed(0.0), typed(0.3)));
  EXPECT_FALSE(boundsConsistent(kOptionB, table(ln05 * (1 + 1e-13)), typed(0.5)));
  EXPECT_TRUE(boundsConsistent(kOptionB, table(ln05 * (1 + 1e-12)), typed(0.5)));
  // A table of probability 1 is no typed 1, nor one of probability 0 a typed 0.
  EXPECT_FALSE(boundsConsistent(kOptionC, table(-2.0), table(-3.0)));
  EXPECT_FALSE(boundsConsistent(kOptionB, table(-1.0), table(-1.0)));
  // Typed 0/0 and 1/1 leave nothing to meet (see the dialogue tests); an
  // observed table never.
  EXPECT_TRUE(conditionIsEmpty(typed(1.0), typed(1.0)));
  EXPECT_FALSE(conditionIsEmpty(typed(0.0), typed(1.0)));
  EXPECT_FALSE(conditionIsEmpty(table(0.0), table(0.0)));
}

// Whole sessions that end in the dialogue or right after it.

const std::string kReportHead2x2 =
    lines({"", "", "  DISTRIBUCI\xD3N DE PROBABILIDAD DE LAS TABLAS 2x2 CON MARGINALES FIJOS,",
           "  Y BAJO EL SUPUESTO DE INDEPENDENCIA ENTRE FILAS Y COLUMNAS.", "",
           "  Marginales filas:     1,  1", "  Marginales columnas:  1,  1", "", ""},
          "\r\n");

TEST(OptionsSession, KeptTablesBeyondTheBudgetEndTheRunWithTheMemoryMessage) {
  // 3 x 3, rows 2, 7, 11 and columns 2, 8, 10: 100 tables, all accepted by
  // option C with L = 0 and U = 1, and T1 = 2147483647 keeps them all. The
  // stores start with 16 slots and double as tables are kept; under a budget
  // of 3000 bytes the growth to 64 slots is refused, during the pass.
  RunSettings settings;
  settings.memoryLimitBytes = 3000;
  const auto outcome =
      testing::runSession("3\n3\n2\n7\n11\n2\n8\n10\nC\nN\n0\nN\n1\n2147483647\n0\n\n", settings);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.errors, "Fallo en la asignacion de memoria. (ver res.txt)\n");
  EXPECT_EQ(outcome.console, openingConsole("3x3", 3, 3, " 0.979163E+02") + optionsMenu("3x3") +
                                 kOptionPrompt + typedBound("3x3", 'L') + typedBound("3x3", 'U') +
                                 kCountsPrompts + "\n\n\n\n  Progreso de los calculos:\n 0%\n");
  EXPECT_EQ(
      outcome.report,
      lines({"", "", "  DISTRIBUCI\xD3N DE PROBABILIDAD DE LAS TABLAS 3x3 CON MARGINALES FIJOS,",
             "  Y BAJO EL SUPUESTO DE INDEPENDENCIA ENTRE FILAS Y COLUMNAS.", "",
             "  Marginales filas:     2,  7,  11", "  Marginales columnas:  2,  8,  10", "", "",
             "  Fallo en la asignaci\xF3n de memoria."},
            "\r\n"));
}

TEST(OptionsSession, LargestT1CostsOnlyTheTablesKept) {
  // The 2 x 3 example, all 18 tables accepted (option C, L = 0, U = 1): with
  // T1 = 2147483647 the run is the same as with T1 = 18, which lists them all
  // too. Its stores grow past their first 16 slots.
  const std::string start = "2\n3\n5\n12\n3\n7\n7\nC\nN\n0\nN\n1\n";
  const auto largest = testing::runSession(start + "2147483647\n0\n\n");
  const auto exact = testing::runSession(start + "18\n0\n\n");
  EXPECT_EQ(largest.status, 0) << largest.errors;
  EXPECT_EQ(exact.status, 0) << exact.errors;
  EXPECT_EQ(largest.console, exact.console);
  EXPECT_EQ(largest.report, exact.report);
  size_t blocks = 0;
  for (size_t at = exact.report.find("Prob.="); at != std::string::npos;
       at = exact.report.find("Prob.=", at + 1)) {
    ++blocks;
  }
  EXPECT_EQ(blocks, 18u);
}

TEST(OptionsSession, UnreadableBoundEndsTheRun) {
  const auto outcome = testing::runSession("2\n2\n1\n1\n1\n1\nB\nN\nabc\n");
  EXPECT_EQ(outcome.status, 2);
  EXPECT_FALSE(outcome.errors.empty());
  EXPECT_EQ(outcome.report, kReportHead2x2);
}

}  // namespace
}  // namespace rxc
