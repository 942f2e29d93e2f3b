// The result options dialogue: the menu and its line breaks for every table
// size, option A, the bounds of options B and C (typed or as observed tables)
// with their checks, the empty condition, T1 and T2. Most tests drive the
// dialogue on a session whose marginals are set by hand and compare the whole
// console text; the last ones run whole sessions.
#include "dialogue/options_dialogue.h"

#include <gtest/gtest.h>

#include <string>
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
    runOptionsDialogue(h.session());
    std::string prompts;
    for (int k = 0; k < c.prompts; ++k) prompts += kChoicePrompt;
    EXPECT_EQ(h.console(), optionsMenu(c.dim) + kOptionPrompt + optionAQuestions(c.dim) + prompts)
        << c.input;
    const RunState& s = h.state();
    EXPECT_EQ(s.extremeOption, c.choice);
    EXPECT_EQ(s.runMode, 5);
    EXPECT_EQ(s.t1, 0);
    EXPECT_EQ(s.t2, 0);
    EXPECT_FALSE(s.tableEntered[1] || s.tableEntered[2]);
  }
}

TEST(OptionPrompt, OnlyTheFirstCharacterCountsAndBadLettersAskAgain) {
  // " a" (leading blank), "x", an empty line and "D" are refused; "bcd" is B.
  DialogueHarness h(" a\nx\n\nD\nbcd\nn\n0.2\nN\n0.5\n3\n4\n", kOnes2, kOnes2);
  runOptionsDialogue(h.session());
  EXPECT_EQ(h.console(), optionsMenu("2x2") + kOptionPrompt + kOptionPrompt + kOptionPrompt +
                             kOptionPrompt + kOptionPrompt + kTypedBounds + kCountsPrompts);
  EXPECT_EQ(h.state().resultOption, 'b');
  EXPECT_EQ(h.state().runMode, 2);
}

TEST(OptionsBAndC, OutOfRangeValuesAndBadAnswersAskAgainSilently) {
  // Y/N question: "q" and an empty line repeat it on the open line. L: 1.5 and
  // -0.1 are refused, "0,5" reads 0 (the comma ends the value). U: 1 is taken.
  // T1: -1 is refused; T2: -7 too.
  DialogueHarness typed("B\nq\n\nN\n1.5\n-0.1\n0,5\nn\n1\n-1\n5\n-7\n0\n", kOnes2, kOnes2);
  runOptionsDialogue(typed.session());
  const std::string question =
      " Desea introducir una tabla 2x2 observada en lugar de un valor L? [Y/N]: ";
  EXPECT_EQ(typed.console(), optionsMenu("2x2") + kOptionPrompt + "\n\n" + question + question +
                                 question + valuePrompt('L') + valuePrompt('L') + valuePrompt('L') +
                                 boundQuestion("2x2", 'U') + valuePrompt('U') +
                                 "\n\n\n  Introducir valores T1 y T2 [T1>=0  y  T2>=0]:\n"
                                 "      T1=       T1=       T2=       T2= ");
  const RunState& s = typed.state();
  EXPECT_EQ(s.lEntry, 0.0);
  EXPECT_EQ(s.l, 0.0);
  EXPECT_EQ(s.uEntry, 1.0);
  EXPECT_EQ(s.t1, 5);
  EXPECT_EQ(s.t2, 0);
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
    runOptionsDialogue(h.session());
    EXPECT_EQ(h.console(), optionsMenu("2x2") + kOptionPrompt + kTypedBounds +
                               boundsError(c.optionC) + kTypedBounds + kCountsPrompts);
    EXPECT_EQ(h.state().lEntry, c.l);
    EXPECT_EQ(h.state().runMode, c.optionC ? 3 : 2);
  }
}

TEST(OptionsBAndC, EmptyConditionAnsweredYesThenNo) {
  // C with L = U = 0: the condition message; "x" repeats the question; Y
  // enters the bounds again; L = U = 1 is empty too, and N ends the dialogue
  // with RunMode 4 and no T1/T2 questions.
  DialogueHarness h("c\nn\n0\nn\n0\nx\ny\nn\n1\nn\n1\nN\n", kOnes2, kOnes2);
  runOptionsDialogue(h.session());
  const std::string again = "  Desea volver a introducir L, U, o tablas observadas? [Y/N]: \n\n";
  EXPECT_EQ(h.console(), optionsMenu("2x2") + kOptionPrompt + kTypedBounds + emptyCondition("2x2") +
                             again + kTypedBounds + emptyCondition("2x2"));
  EXPECT_EQ(h.state().runMode, 4);
  EXPECT_EQ(h.state().t1, 0);
  EXPECT_EQ(h.state().t2, 0);
}

TEST(OptionsBAndC, ObservedTablesAsBounds) {
  // 2 x 2 with all marginals 1: the diagonal table has probability 1/2. Option
  // B with L given as that table and U = 0.5 typed is refused; then L = 0.25
  // typed and U given as the same table passes.
  DialogueHarness h("b\ny\n1\n0\n0\n1\nn\n0.5\nn\n0.25\nY\n1\n0\n0\n1\n2\n0\n", kOnes2, kOnes2);
  runOptionsDialogue(h.session());
  const std::string table = observedEntry("2x2", 2, 2, "  0.500000000000000     ");
  EXPECT_EQ(h.console(), optionsMenu("2x2") + kOptionPrompt + boundQuestion("2x2", 'L') + table +
                             typedBound("2x2", 'U') + boundsError(false) + typedBound("2x2", 'L') +
                             boundQuestion("2x2", 'U') + table + kCountsPrompts);
  const RunState& s = h.state();
  EXPECT_FALSE(s.tableEntered[1]);
  EXPECT_TRUE(s.tableEntered[2]);
  EXPECT_EQ(s.lEntry, 0.25);
  EXPECT_EQ(s.uEntry, 9.0);  // a table leaves the entry at 9
  EXPECT_DOUBLE_EQ(s.u, 0.5);
  EXPECT_DOUBLE_EQ(s.logU, -0.6931471805599453);
  EXPECT_EQ(s.t1, 2);
}

TEST(BoundsRule, ConsistencyOfTypedEntriesAndLogarithms) {
  const double kTable = 9.0;  // entry left by an observed table
  const double ln05 = -0.6931471805599453;
  // Equal and reversed bounds are in the dialogue tests. Option C: L = 0 or
  // U = 1 typed always pass; U = 0 typed otherwise fails.
  EXPECT_TRUE(boundsConsistent(3, 0.0, 0.0, 0.0, 0.0));
  EXPECT_TRUE(boundsConsistent(3, 0.7, 1.0, -0.35, 0.0));
  EXPECT_FALSE(boundsConsistent(3, 0.5, 0.0, ln05, 0.0));
  // Within the tolerance (2.22e-13 relative) a slightly larger L still passes.
  EXPECT_TRUE(boundsConsistent(3, kTable, 0.5, ln05 * (1 - 1e-13), ln05));
  EXPECT_FALSE(boundsConsistent(3, kTable, 0.5, ln05 * (1 - 1e-12), ln05));
  // A table whose probability underflowed still compares through its log.
  EXPECT_TRUE(boundsConsistent(3, kTable, 0.5, -11477.8, ln05));
  // Option B: U = 0 typed always fails, then L = 0 typed passes; the band
  // works the other way.
  EXPECT_FALSE(boundsConsistent(2, 0.0, 0.0, 0.0, 0.0));
  EXPECT_TRUE(boundsConsistent(2, 0.0, 0.3, 0.0, -1.2));
  EXPECT_FALSE(boundsConsistent(2, kTable, 0.5, ln05 * (1 + 1e-13), ln05));
  EXPECT_TRUE(boundsConsistent(2, kTable, 0.5, ln05 * (1 + 1e-12), ln05));
  // Typed 0/0 and 1/1 leave nothing to meet (see the dialogue tests); an
  // observed table never.
  EXPECT_FALSE(conditionIsEmpty(0.0, 1.0));
  EXPECT_FALSE(conditionIsEmpty(kTable, kTable));
}

// Whole sessions that end in the dialogue or right after it.

const std::string kReportHead2x2 =
    lines({"", "", "  DISTRIBUCI\xD3N DE PROBABILIDAD DE LAS TABLAS 2x2 CON MARGINALES FIJOS,",
           "  Y BAJO EL SUPUESTO DE INDEPENDENCIA ENTRE FILAS Y COLUMNAS.", "",
           "  Marginales filas:     1,  1", "  Marginales columnas:  1,  1", "", ""},
          "\r\n");

TEST(OptionsSession, RefusedReservationEndsTheRunWithTheMemoryMessage) {
  // T1 = 2147483647 asks for 2147483648 slots: 8 GiB for the first slot array
  // alone, beyond a 1 GiB limit. The run stops right after the dialogue.
  RunSettings settings;
  settings.memoryLimitBytes = uint64_t{1} << 30;
  const auto outcome =
      testing::runSession("2\n2\n1\n1\n1\n1\nB\nN\n0\nN\n1\n2147483647\n0\n", settings);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.console, openingConsole("2x2", 2, 2, " 0.225676E+01") + optionsMenu("2x2") +
                                 kOptionPrompt + kTypedBounds + kCountsPrompts + "\n");
  EXPECT_EQ(outcome.report, kReportHead2x2 + "  Fallo en la asignaci\xF3n de memoria.\r\n");
}

TEST(OptionsSession, UnreadableBoundEndsTheRun) {
  const auto outcome = testing::runSession("2\n2\n1\n1\n1\n1\nB\nN\nabc\n");
  EXPECT_EQ(outcome.status, 2);
  EXPECT_FALSE(outcome.errors.empty());
  EXPECT_EQ(outcome.report, kReportHead2x2);
}

}  // namespace
}  // namespace rxc
