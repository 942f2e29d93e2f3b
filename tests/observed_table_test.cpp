// Typing an observed table in place of a bound: cell prompts, the step back on
// a negative value, the row and column checks, and the probability records.
// Each test drives the entry on a session whose marginals are set by hand and
// compares the whole console text it produced.
#include "dialogue/observed_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/console_texts.h"
#include "support/dialogue_harness.h"

namespace rxc {
namespace {

using testing::cellPrompt;
using testing::DialogueHarness;
using testing::observedHeading;

// The prompts of whole rows, each on a line of its own.
std::string rows(std::initializer_list<int> numbers, int c = 2) {
  std::string text;
  for (int i : numbers) {
    text += "\n";
    for (int j = 1; j <= c; ++j) text += cellPrompt(i, j);
  }
  return text;
}

const std::string kRowError =
    " \n  Error. La suma de la fila no coincide con el marginal de la fila.\n";
const std::string kColumnError =
    " \n  Error. La suma de alguna columna no coincide con su marginal.\n";

TEST(ObservedTableEntry, CorrectionsRepeatARowOrTheTable) {
  // Rows 2, 3, 4 and columns 4, 5. The table {{1,1},{2,1},{1,3}} has
  // probability 2!3!4!4!5! / (9! 1!1!2!1!1!3!) = 4/21 = 0.1904761904761904...
  const struct {
    const char* why;
    const char* input;
    std::string console;
  } cases[] = {
      {"typed straight through", "1\n1\n2\n1\n1\n3\n", rows({1, 2, 3})},
      // Row 2 is typed 1, 1 at first, which would be wrong, but the negative
      // value sends the entry back to row 2 before its sum is ever checked.
      {"negative in column 1 of row 3: back to row 2", "1\n1\n2\n1\n-1\n2\n1\n1\n3\n",
       rows({1, 2}) + "\n" + cellPrompt(3, 1) + rows({2, 3})},
      {"negative in column 2 of row 3: row 3 again", "1\n1\n2\n1\n1\n-5\n1\n3\n",
       rows({1, 2, 3, 3})},
      {"negative in row 1, column 1 then 2: row 1 again", "-1\n1\n-1\n1\n1\n2\n1\n1\n3\n",
       "\n" + cellPrompt(1, 1) + rows({1, 1, 2, 3})},
      // Row 2 typed as 1, 1 (sum 2, marginal 3). The message does not fit
      // after the open prompt line, so the list-directed record breaks before it.
      {"wrong row sum", "1\n1\n1\n1\n2\n1\n1\n3\n", rows({1, 2}) + kRowError + rows({2, 3})},
      // {{2,0},{1,2},{0,4}}: rows right, columns 3 and 6 instead of 4 and 5.
      {"wrong column sum", "2\n0\n1\n2\n0\n4\n1\n1\n2\n1\n1\n3\n",
       rows({1, 2, 3}) + kColumnError + observedHeading("3x2") + rows({1, 2, 3})},
  };
  for (const auto& c : cases) {
    DialogueHarness h(c.input, {2, 3, 4}, {4, 5});
    std::vector<int16_t> cells;
    const Bound bound = enterObservedTable(h.io(), h.problem(), cells);
    EXPECT_EQ(h.console(),
              observedHeading("3x2") + c.console +
                  "\n  Probabilidad de la tabla 3x2 introducida =  0.190476190476190     \n")
        << c.why;
    // Rows accepted before a correction keep their values.
    EXPECT_EQ(cells, std::vector<int16_t>({1, 1, 2, 1, 1, 3})) << c.why;
    EXPECT_EQ(bound.observedTable, cells) << c.why;
    EXPECT_TRUE(bound.tableEntered()) << c.why;
    EXPECT_NEAR(bound.value, 4.0 / 21.0, 1e-15) << c.why;
    EXPECT_NEAR(*bound.logValue, -1.6582280766035324, 1e-14) << c.why;  // ln(4/21)
  }
}

TEST(ObservedTableEntry, NullValuesKeepTheCellsEarlierValue) {
  // Rows 2, 3, 4 and columns 4, 5. The first entry types "," for cell (1, 1),
  // which is 0 the first time: {{0,2},{2,1},{2,2}}, of probability
  // 2!3!4!4!5! / (9! 0!2!2!1!2!2!) = 1/7. A second entry of the same bound
  // typed all null gives the same table back.
  const std::string nulls = ",\n ,\n,5\n,\n,\n,\n";
  DialogueHarness h(",\n2\n2\n1\n2\n2\n" + nulls, {2, 3, 4}, {4, 5});
  std::vector<int16_t> cells;
  const std::string entry =
      observedHeading("3x2") + rows({1, 2, 3}) +
      "\n  Probabilidad de la tabla 3x2 introducida =  0.142857142857143     \n";
  for (int k = 0; k < 2; ++k) {
    const Bound bound = enterObservedTable(h.io(), h.problem(), cells);
    EXPECT_EQ(cells, std::vector<int16_t>({0, 2, 2, 1, 2, 2})) << k;
    EXPECT_NEAR(bound.value, 1.0 / 7.0, 1e-15) << k;
  }
  EXPECT_EQ(h.console(), entry + entry);
}

TEST(ObservedTableEntry, RowSumThatWouldWrapIn16BitsIsStillWrong) {
  // Rows 2, 3 and columns 1, 2, 2. Row 1 typed 32767, 32767, 4 adds up to
  // 65538, which a 16-bit sum would wrap to 2, its marginal.
  DialogueHarness h("32767\n32767\n4\n0\n1\n1\n1\n1\n1\n", {2, 3}, {1, 2, 2});
  std::vector<int16_t> cells;
  enterObservedTable(h.io(), h.problem(), cells);
  // {{0,1,1},{1,1,1}}: 2!3!1!2!2! / 5! = 0.4.
  EXPECT_EQ(h.console(),
            observedHeading("2x3") + rows({1}, 3) + kRowError + rows({1, 2}, 3) +
                "\n  Probabilidad de la tabla 2x3 introducida =  0.400000000000000     \n");
}

TEST(ObservedTableEntry, RowsAndColumnsNumbered100ShowAsAsterisks) {
  // 100 x 2 with every row marginal 1 and columns 50, 50; 2 x 100 with every
  // column marginal 2. The prompts are compared, up to the probability line.
  std::string tallInput, wideInput;
  for (int i = 1; i <= 100; ++i) tallInput += i <= 50 ? "1\n0\n" : "0\n1\n";
  for (int i = 0; i < 200; ++i) wideInput += "1\n";
  DialogueHarness tall(tallInput, std::vector<int16_t>(100, 1), {50, 50});
  DialogueHarness wide(wideInput, {100, 100}, std::vector<int16_t>(100, 2));
  std::vector<int16_t> tallCells, wideCells;
  enterObservedTable(tall.io(), tall.problem(), tallCells);
  enterObservedTable(wide.io(), wide.problem(), wideCells);
  std::string tallPrompts = observedHeading("100x2");
  for (int i = 1; i <= 100; ++i) tallPrompts += rows({i});
  const std::string widePrompts = observedHeading("2x100") + rows({1, 2}, 100);
  EXPECT_EQ(tall.console().substr(0, tallPrompts.size()), tallPrompts);
  EXPECT_EQ(wide.console().substr(0, widePrompts.size()), widePrompts);
  EXPECT_NE(tallPrompts.find("\n    fila ** columna  1 :     fila ** columna  2 : "),
            std::string::npos);
  EXPECT_NE(widePrompts.find("    fila  2 columna ** : "), std::string::npos);
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
  std::vector<int16_t> cells;
  const Bound bound = enterObservedTable(h.io(), h.problem(), cells);
  EXPECT_EQ(h.console(),
            observedHeading("10x10") + rows({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 10) + "\n" +
                testing::lines({
                    "  Probabilidad de la tabla 10x10 introducida =   0.00000000000000     ",
                    "  La probabilidad de la tabla es demasiado pequeña, y se escribe como 0,",
                    "  pero su logaritmo natural es",
                    "",
                    "     log(probilidad de la tabla introducida) = -0.11477838924275D+05",
                }));
  EXPECT_EQ(bound.value, 0.0);
  EXPECT_NEAR(*bound.logValue, -11477.838924275206, 1e-7);
}

}  // namespace
}  // namespace rxc
