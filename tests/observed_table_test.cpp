// Typing an observed table in place of a bound: cell prompts, the step back on
// a negative value, the row and column checks, and the probability records.
// Each test drives the entry on a session whose marginals are set by hand and
// compares the whole console text it produced.
#include "dialogue/observed_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/dialogue_harness.h"
#include "support/session_driver.h"

namespace rxc {
namespace {

using testing::DialogueHarness;
using testing::lines;

// "    fila  i columna  j : " with two-column numbers; 100 does not fit.
std::string cellPrompt(int i, int j) {
  auto two = [](int v) {
    if (v > 99) return std::string("**");
    return (v < 10 ? " " : "") + std::to_string(v);
  };
  return "    fila " + two(i) + " columna " + two(j) + " : ";
}

std::string rowPrompts(int i, int c) {
  std::string text;
  for (int j = 1; j <= c; ++j) text += cellPrompt(i, j);
  return text;
}

std::string header(const std::string& dim) {
  return "\n\n\n  Introducir tabla " + dim +
         " observada [Introduciendo un valor negativo se\n"
         "  vuelve a introducir la fila actual o la fila anterior]:\n";
}

const std::string kRowError =
    " \n  Error. La suma de la fila no coincide con el marginal de la fila.\n";
const std::string kColumnError =
    " \n  Error. La suma de alguna columna no coincide con su marginal.\n";

// Rows 2, 3, 4 and columns 4, 5. The table {{1,1},{2,1},{1,3}} has
// probability 2!3!4!4!5! / (9! 1!1!2!1!1!3!) = 4/21 = 0.1904761904761904...
const std::vector<int16_t> kRows = {2, 3, 4};
const std::vector<int16_t> kCols = {4, 5};
const std::string kProbability4Of21 =
    "\n  Probabilidad de la tabla 3x2 introducida =  0.190476190476190     \n";

void expectTable(const RunState& state, int bound, const std::vector<int16_t>& cells) {
  const int16_t* stored = state.observedTable(bound);
  EXPECT_EQ(std::vector<int16_t>(stored, stored + cells.size()), cells);
}

TEST(ObservedTableEntry, TableTypedStraightThrough) {
  DialogueHarness h("1\n1\n2\n1\n1\n3\n", kRows, kCols);
  enterObservedTable(h.session(), 1);
  EXPECT_EQ(h.console(), header("3x2") + "\n" + rowPrompts(1, 2) + "\n" + rowPrompts(2, 2) + "\n" +
                             rowPrompts(3, 2) + kProbability4Of21);
  expectTable(h.state(), 1, {1, 1, 2, 1, 1, 3});
  EXPECT_NEAR(h.state().l, 4.0 / 21.0, 1e-15);
  EXPECT_NEAR(h.state().logL, -1.6582280766035324, 1e-14);  // ln(4/21)
}

TEST(ObservedTableEntry, NegativeInFirstColumnOfRowThreeGoesBackToRowTwo) {
  // Row 2 is typed 1, 1 at first, which would be wrong, but the negative value
  // sends the entry back to row 2 before its sum is ever checked.
  DialogueHarness h("1\n1\n2\n1\n-1\n2\n1\n1\n3\n", kRows, kCols);
  enterObservedTable(h.session(), 1);
  EXPECT_EQ(h.console(), header("3x2") + "\n" + rowPrompts(1, 2) + "\n" + rowPrompts(2, 2) + "\n" +
                             cellPrompt(3, 1) + "\n" + rowPrompts(2, 2) + "\n" + rowPrompts(3, 2) +
                             kProbability4Of21);
  expectTable(h.state(), 1, {1, 1, 2, 1, 1, 3});
}

TEST(ObservedTableEntry, NegativeInSecondColumnOfRowThreeRepeatsRowThreeOnly) {
  DialogueHarness h("1\n1\n2\n1\n1\n-5\n1\n3\n", kRows, kCols);
  enterObservedTable(h.session(), 1);
  EXPECT_EQ(h.console(), header("3x2") + "\n" + rowPrompts(1, 2) + "\n" + rowPrompts(2, 2) + "\n" +
                             rowPrompts(3, 2) + "\n" + rowPrompts(3, 2) + kProbability4Of21);
}

TEST(ObservedTableEntry, NegativeInRowOneRepeatsRowOne) {
  // First column, then second column of row 1.
  DialogueHarness h("-1\n1\n-1\n1\n1\n2\n1\n1\n3\n", kRows, kCols);
  enterObservedTable(h.session(), 1);
  EXPECT_EQ(h.console(), header("3x2") + "\n" + cellPrompt(1, 1) + "\n" + rowPrompts(1, 2) + "\n" +
                             rowPrompts(1, 2) + "\n" + rowPrompts(2, 2) + "\n" + rowPrompts(3, 2) +
                             kProbability4Of21);
}

TEST(ObservedTableEntry, WrongRowSumRepeatsThatRowWithAMessage) {
  // Row 2 typed as 1, 1 (sum 2, marginal 3). The message does not fit after
  // the open prompt line, so the list-directed record breaks before it.
  DialogueHarness h("1\n1\n1\n1\n2\n1\n1\n3\n", kRows, kCols);
  enterObservedTable(h.session(), 1);
  EXPECT_EQ(h.console(), header("3x2") + "\n" + rowPrompts(1, 2) + "\n" + rowPrompts(2, 2) +
                             kRowError + "\n" + rowPrompts(2, 2) + "\n" + rowPrompts(3, 2) +
                             kProbability4Of21);
}

TEST(ObservedTableEntry, WrongColumnSumRepeatsTheWholeTable) {
  // {{2,0},{1,2},{0,4}}: rows right, columns 3 and 6 instead of 4 and 5.
  DialogueHarness h("2\n0\n1\n2\n0\n4\n1\n1\n2\n1\n1\n3\n", kRows, kCols);
  enterObservedTable(h.session(), 2);
  EXPECT_EQ(h.console(), header("3x2") + "\n" + rowPrompts(1, 2) + "\n" + rowPrompts(2, 2) + "\n" +
                             rowPrompts(3, 2) + kColumnError + header("3x2") + "\n" +
                             rowPrompts(1, 2) + "\n" + rowPrompts(2, 2) + "\n" + rowPrompts(3, 2) +
                             kProbability4Of21);
  expectTable(h.state(), 2, {1, 1, 2, 1, 1, 3});
  EXPECT_NEAR(h.state().u, 4.0 / 21.0, 1e-15);
  EXPECT_NEAR(h.state().logU, -1.6582280766035324, 1e-14);
}

TEST(ObservedTableEntry, RowSumThatWouldWrapIn16BitsIsStillWrong) {
  // Rows 2, 3 and columns 1, 2, 2. Row 1 typed 32767, 32767, 4 adds up to
  // 65538, which a 16-bit sum would wrap to 2, its marginal.
  DialogueHarness h("32767\n32767\n4\n0\n1\n1\n1\n1\n1\n", {2, 3}, {1, 2, 2});
  enterObservedTable(h.session(), 1);
  // {{0,1,1},{1,1,1}}: 2!3!1!2!2! / 5! = 0.4.
  EXPECT_EQ(h.console(),
            header("2x3") + "\n" + rowPrompts(1, 3) + kRowError + "\n" + rowPrompts(1, 3) + "\n" +
                rowPrompts(2, 3) +
                "\n  Probabilidad de la tabla 2x3 introducida =  0.400000000000000     \n");
}

TEST(ObservedTableEntry, EarlierRowsKeepTheirValuesAcrossACorrection) {
  // Row 1 is accepted once and never typed again; the other plane is untouched.
  DialogueHarness h("0\n2\n3\n0\n1\n-1\n3\n0\n1\n3\n", kRows, kCols);
  h.state().observedTables[0] = 7;  // plane 1, cell (1,1)
  enterObservedTable(h.session(), 2);
  expectTable(h.state(), 2, {0, 2, 3, 0, 1, 3});
  EXPECT_EQ(h.state().observedTables[0], 7);
}

TEST(ObservedTableEntry, RowsAndColumnsNumbered100ShowAsAsterisks) {
  // 100 x 2 with every row marginal 1 and columns 50, 50; then 2 x 100.
  {
    std::string input;
    for (int i = 1; i <= 100; ++i) input += i <= 50 ? "1\n0\n" : "0\n1\n";
    DialogueHarness h(input, std::vector<int16_t>(100, 1), {50, 50});
    enterObservedTable(h.session(), 1);
    std::string expected = header("100x2");
    for (int i = 1; i <= 100; ++i) expected += "\n" + rowPrompts(i, 2);
    const std::string text = h.console();
    ASSERT_GE(text.size(), expected.size());
    EXPECT_EQ(text.substr(0, expected.size()), expected);
    EXPECT_NE(expected.find("    fila ** columna  1 :     fila ** columna  2 : "),
              std::string::npos);
  }
  {
    std::string input;
    for (int i = 0; i < 200; ++i) input += "1\n";
    DialogueHarness h(input, {100, 100}, std::vector<int16_t>(100, 2));
    enterObservedTable(h.session(), 1);
    const std::string expected =
        header("2x100") + "\n" + rowPrompts(1, 100) + "\n" + rowPrompts(2, 100);
    const std::string text = h.console();
    ASSERT_GE(text.size(), expected.size());
    EXPECT_EQ(text.substr(0, expected.size()), expected);
    EXPECT_NE(expected.find("    fila  2 columna ** : "), std::string::npos);
  }
}

TEST(ObservedTableEntry, ProbabilityThatUnderflowsIsShownAsZeroWithItsLogarithm) {
  // 10 x 10, every marginal 500, all of each row in its diagonal cell:
  // ln p = 10 ln(500!) - ln(5000!) = -11477.8389242752... (exact value from
  // the log-gamma function), far below the range of exp.
  std::string input;
  for (int i = 0; i < 10; ++i) {
    for (int j = 0; j < 10; ++j) input += i == j ? "500\n" : "0\n";
  }
  DialogueHarness h(input, std::vector<int16_t>(10, 500), std::vector<int16_t>(10, 500));
  enterObservedTable(h.session(), 1);
  std::string expected = header("10x10");
  for (int i = 1; i <= 10; ++i) expected += "\n" + rowPrompts(i, 10);
  expected += "\n" + lines({
                         "  Probabilidad de la tabla 10x10 introducida =   0.00000000000000     ",
                         "  La probabilidad de la tabla es demasiado pequeña, y se escribe como 0,",
                         "  pero su logaritmo natural es",
                         "",
                         "     log(probilidad de la tabla introducida) = -0.11477838924275D+05",
                     });
  EXPECT_EQ(h.console(), expected);
  EXPECT_EQ(h.state().l, 0.0);
  EXPECT_NEAR(h.state().logL, -11477.838924275206, 1e-7);
}

}  // namespace
}  // namespace rxc
