// Options B and C from end to end: whole sessions compared line for line on
// the console and in the report, Fisher p-values against independent values,
// and the pass checked against a brute-force enumeration on random cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "base/double_pair.h"
#include "base/fast_exp.h"
#include "base/fatal_stop.h"
#include "base/tolerance.h"
#include "engine/condition/condition_pass.h"
#include "engine/condition/condition_visitor.h"
#include "engine/condition/exact_probabilities.h"
#include "engine/stores/kept_tables.h"
#include "records/number_format.h"
#include "report/conditioned_section.h"
#include "support/console_texts.h"
#include "support/dialogue_harness.h"
#include "support/exact_probabilities.h"
#include "support/reference_enumeration.h"
#include "support/report_texts.h"
#include "support/selection_model.h"
#include "support/session_driver.h"

namespace rxc {
namespace {

using testing::block;
using testing::boundQuestion;
using testing::joined;
using testing::kCountsPrompts;
using testing::kSeparator;
using testing::Lines;
using testing::observedEntry;
using testing::operator<<;
using testing::expectSession;
using testing::reportAsText;
using testing::runSession;
using testing::typedBound;

// The console up to the option prompt, and from the progress bar to the end.
std::string opening(const std::string& dim, int r, int c, const std::string& estimateField) {
  return testing::openingConsole(dim, r, c, estimateField) + testing::optionsMenu(dim) +
         testing::kOptionPrompt;
}
std::string results(const std::string& dim, const std::string& totalField) {
  return testing::progressAndTotal(dim, totalField) + testing::kClosing;
}

// The report head and the section's title.
Lines head(const std::string& dim, const std::string& rows, const std::string& cols,
           const std::string& total) {
  Lines out = testing::reportHead(dim, rows, cols, total);
  return out << Lines({"", "", "", " TABLAS " + dim + " DE LA DISTRIBUCIÓN, con probabilidad "});
}

// The condition with both bounds typed: option B's strict one or option C's.
Lines typedCondition(bool optionC, const std::string& l, const std::string& u) {
  const std::string relation = optionC ? " O IGUAL QUE " : " QUE ";
  return {"   MAYOR" + relation + l, " y MENOR" + relation + u + ":", "", ""};
}

Lines countAndSum(const std::string& dim, int count, const std::string& sum) {
  const std::string n = std::to_string(count);
  return {
      " [Número total de tablas " + dim + " resultantes (que cumplen esa condición) = " + n + "].",
      "",
      " [Suma de las probabilidades de las " + n + " tablas " + dim + " resultantes = " + sum +
          "].",
      ""};
}

const std::string kOrderNote = " [Las tablas se escriben ordenadas de mayor a menor probabilidad].";

// The note when the T1 most and the T2 least probable tables are listed.
Lines bothGroupsNote(int count, int t1, int t2) {
  return {" De las " + std::to_string(count) +
              " tablas, sólo se escriben las T1 tablas de mayor probabilidad",
          " y las T2 tablas de menor probabilidad (T1 = " + std::to_string(t1) +
              ",  T2 = " + std::to_string(t2) + "),",
          " con varias lineas de separación entre ambos grupos de tablas.", kOrderNote, ""};
}

// ---------------------------------------------------------------------------
// 2 x 3, rows 5 and 12, columns 3, 7 and 7: 18 tables. In generation order,
// tables 1, 6, 16 and 18 have probability 3/884, table 17 (3 1 1 / 0 6 6)
// 7/884, tables 3, 4, 8 and 10 105/884, table 9 189/884.

const std::string kMargins2x3 = "2\n3\n5\n12\n3\n7\n7\n";
const std::string kOpening2x3 = opening("2x3", 2, 3, " 0.176906E+02");
const std::string kTypedConsole2x3 = kOpening2x3 + typedBound("2x3", 'L') + typedBound("2x3", 'U') +
                                     kCountsPrompts + results("2x3", " 18");
Lines head2x3() { return head("2x3", "5,  12", "3,  7,  7", " 18"); }
const std::string kP3over884 = " 0.33936651583710D-02";
const std::string kP7over884 = " 0.79185520361991D-02";
const std::string kP15over884 = " 0.16968325791855D-01";
const std::string kP105over884 = " 0.11877828054299D+00";
const std::string kP189over884 = " 0.21380090497738D+00";

TEST(ConditionedSession, FisherTestOfAnObservedTable) {
  // Option C, L = 0 typed, U the observed table 3 1 1 / 0 6 6: the five
  // tables at most as probable, whose sum is the p-value 19/884. T1 = T2 = 2.
  // Of the four tied tables, the second generated heads the high list; the
  // third goes low; the observed table pushes the head (the second) to the
  // low list's head.
  const std::string input = kMargins2x3 + "C\nN\n0\nY\n3\n1\n1\n0\n6\n6\n2\n2\n\n";
  const std::string console = kOpening2x3 + typedBound("2x3", 'L') + boundQuestion("2x3", 'U') +
                              observedEntry("2x3", 2, 3, "  0.791855203619909E-002") +
                              kCountsPrompts + results("2x3", " 18");
  Lines report = head2x3();
  report << Lines({"   MAYOR O IGUAL QUE 0.0000000000D+00",
                   " y MENOR O IGUAL QUE la probabilidad de la tabla", "", "         3    1    1",
                   "         0    6    6", "", ""})
         << countAndSum("2x3", 5, "0.21493212669683D-01")
         << Lines({" [Test de Fisher:",
                   "  p-Value de la tabla observada introducida = 0.21493212669683D-01].", ""})
         << bothGroupsNote(5, 2, 2) << block({"    3    1    1", "    0    6    6"}, kP7over884)
         << block({"    0    0    5", "    3    7    2"}, kP3over884) << kSeparator
         << block({"    0    5    0", "    3    2    7"}, kP3over884)
         << block({"    3    0    2", "    0    7    5"}, kP3over884) << Lines({""});
  expectSession(input, console, report);
}

TEST(ConditionedSession, BothBoundsGivenAsObservedTables) {
  // Option C between the tables 3 1 1 / 0 6 6 (7/884) and 1 2 2 / 2 5 5
  // (189/884): 14 tables, both bound tables included although their
  // log-probabilities were summed in another order. L is a table of non-zero
  // probability, so no Fisher line. T1 = T2 = 1.
  const std::string input = kMargins2x3 + "c\ny\n3\n1\n1\n0\n6\n6\ny\n1\n2\n2\n2\n5\n5\n1\n1\n\n";
  const std::string console = kOpening2x3 + boundQuestion("2x3", 'L') +
                              observedEntry("2x3", 2, 3, "  0.791855203619909E-002") +
                              boundQuestion("2x3", 'U') +
                              observedEntry("2x3", 2, 3, "  0.213800904977375     ") +
                              kCountsPrompts + results("2x3", " 18");
  Lines report = head2x3();
  report << Lines({"   MAYOR O IGUAL QUE la probabilidad de la tabla", "", "         3    1    1",
                   "         0    6    6", "", " y MENOR O IGUAL QUE la probabilidad de la tabla",
                   "", "         1    2    2", "         2    5    5", "", ""})
         << countAndSum("2x3", 14, "0.98642533936652D+00") << bothGroupsNote(14, 1, 1)
         << block({"    1    2    2", "    2    5    5"}, kP189over884) << kSeparator
         << block({"    3    1    1", "    0    6    6"}, kP7over884) << Lines({""});
  expectSession(input, console, report);
}

TEST(ConditionedSession, OptionBWithTypedBounds) {
  // 0.01 < p < 0.5: 13 tables. T1 = 3, T2 = 2. Tables 3 and 4 tie with
  // table 8 and 10 but came first; 11 and 7 (tied) are the least probable
  // kept, 11 in the low head's slot.
  Lines report = head2x3();
  report << typedCondition(false, "0.1000000000D-01", "0.5000000000D+00")
         << countAndSum("2x3", 13, "0.97850678733032D+00") << bothGroupsNote(13, 3, 2)
         << block({"    1    2    2", "    2    5    5"}, kP189over884)
         << block({"    0    3    2", "    3    4    5"}, kP105over884)
         << block({"    0    2    3", "    3    5    4"}, kP105over884) << kSeparator
         << block({"    1    4    0", "    2    3    7"}, kP15over884)
         << block({"    1    0    4", "    2    7    3"}, kP15over884) << Lines({""});
  expectSession(kMargins2x3 + "b\nn\n0.01\nn\n0.5\n3\n2\n\n", kTypedConsole2x3, report);
}

TEST(ConditionedSession, BoundsThatNoTableMeets) {
  // Option C with L = U = 0 and no re-entry: every table is generated, none
  // accepted, and the section says so after both typed bounds.
  const std::string console = kOpening2x3 + typedBound("2x3", 'L') + typedBound("2x3", 'U') +
                              testing::emptyCondition("2x3") + results("2x3", " 18");
  Lines report = head2x3();
  report << typedCondition(true, "0.0000000000D+00", "0.0000000000D+00")
         << Lines({" No existe ninguna tabla 2x3 de la distribución que cumpla esa condición."});
  expectSession(kMargins2x3 + "C\nN\n0\nN\n0\nN\n\n", console, report);
}

TEST(ConditionedSession, NoTableListedWithBothCountsZero) {
  // p <= 0.05: 11 tables; with T1 = T2 = 0 the section ends with its note.
  Lines report = head2x3();
  report << typedCondition(true, "0.0000000000D+00", "0.5000000000D-01")
         << countAndSum("2x3", 11, "0.16855203619910D+00")
         << Lines({" No se escribe ninguna tabla."});
  expectSession(kMargins2x3 + "C\nN\n0\nN\n0.05\n0\n0\n\n", kTypedConsole2x3, report);
}

TEST(ConditionedSession, NegativeZeroBoundIsWrittenAsZero) {
  // The run above with L typed as "-0": the same report, without a sign.
  Lines report = head2x3();
  report << typedCondition(true, "0.0000000000D+00", "0.5000000000D-01")
         << countAndSum("2x3", 11, "0.16855203619910D+00")
         << Lines({" No se escribe ninguna tabla."});
  expectSession(kMargins2x3 + "C\nN\n-0\nN\n0.05\n0\n0\n\n", kTypedConsole2x3, report);
}

TEST(ConditionedSession, FourTablesAllListedWithoutNoteOrSeparator) {
  // 0.1 < p < 0.2: tables 3, 4, 8 and 10, all tied. T1 = 3, T2 = 2: the
  // first three fill the high list (each tie heads it), the fourth is low.
  Lines report = head2x3();
  report << typedCondition(false, "0.1000000000D+00", "0.2000000000D+00")
         << countAndSum("2x3", 4, "0.47511312217195D+00") << Lines({kOrderNote, ""})
         << block({"    0    2    3", "    3    5    4"}, kP105over884)
         << block({"    0    3    2", "    3    4    5"}, kP105over884)
         << block({"    1    1    3", "    2    6    4"}, kP105over884)
         << block({"    1    3    1", "    2    4    6"}, kP105over884) << Lines({""});
  expectSession(kMargins2x3 + "B\nN\n0.1\nN\n0.2\n3\n2\n\n", kTypedConsole2x3, report);
}

// ---------------------------------------------------------------------------

TEST(ConditionedSession, HundredTablesListedInPart) {
  // 3 x 3, rows 2, 7, 11 and columns 2, 8, 10: exactly 100 tables, the five
  // most and the five least probable all distinct. Option C with L = 0 and
  // U = 1 accepts them all.
  const std::string input = "3\n3\n2\n7\n11\n2\n8\n10\nC\nN\n0\nN\n1\n";
  const std::string console = opening("3x3", 3, 3, " 0.979163E+02") + typedBound("3x3", 'L') +
                              typedBound("3x3", 'U') + kCountsPrompts + results("3x3", " 100");
  const Lines start = head("3x3", "2,  7,  11", "2,  8,  10", " 100")
                      << typedCondition(true, "0.0000000000D+00", "0.1000000000D+01")
                      << countAndSum("3x3", 100, "0.10000000000000D+01");
  // From the most probable down, and from the fifth least probable down.
  const Lines top[] = {
      block({"    0    1    1", "    1    3    3", "    1    4    6"}, " 0.77796300706518D-01"),
      block({"    0    1    1", "    1    2    4", "    1    5    5"}, " 0.70016670635866D-01"),
      block({"    0    1    1", "    0    3    4", "    2    4    5"}, " 0.58347225529888D-01"),
      block({"    0    0    2", "    1    3    3", "    1    5    5"}, " 0.46677780423911D-01"),
      block({"    0    1    1", "    0    4    3", "    2    3    6"}, " 0.38898150353259D-01"),
  };
  const Lines bottom[] = {
      block({"    1    1    0", "    1    6    0", "    0    1   10"}, " 0.18522928739647D-04"),
      block({"    0    1    1", "    0    7    0", "    2    0    9"}, " 0.13230663385462D-04"),
      block({"    0    2    0", "    1    6    0", "    1    0   10"}, " 0.92614643698235D-05"),
      block({"    1    1    0", "    0    7    0", "    1    0   10"}, " 0.26461326770924D-05"),
      block({"    2    0    0", "    0    7    0", "    0    1   10"}, " 0.13230663385462D-05"),
  };
  // T1 = 3, T2 = 2.
  Lines report = start;
  report << bothGroupsNote(100, 3, 2) << top[0] << top[1] << top[2] << kSeparator << bottom[3]
         << bottom[4] << Lines({""});
  expectSession(input + "3\n2\n\n", console, report);
  // T1 = 0, T2 = 5.
  report = start;
  report << Lines(
      {" De las 100 tablas, sólo se escriben las T2 tablas de menor probabilidad (T2= 5).",
       kOrderNote});
  for (const Lines& b : bottom) report << b;
  expectSession(input + "0\n5\n\n", console, report << Lines({""}));
  // T1 = 5, T2 = 0: the section ends with the last block of the high group.
  report = start;
  report << Lines(
      {" De las 100 tablas, sólo se escriben las T1 tablas de mayor probabilidad (T1= 5).",
       kOrderNote, ""});
  for (const Lines& b : top) report << b;
  expectSession(input + "5\n0\n\n", console, report);
}

TEST(ConditionedSession, ThreeEqualTablesAtTheHighListBoundary) {
  // 2 x 3, rows 1 and 2, columns 1, 1, 1: three tables of probability 1/3.
  // T1 = 2: the second table heads the high list and the first is its tail,
  // so the first is listed first; the third does not displace the head and
  // goes to the low list.
  const std::string input = "2\n3\n1\n2\n1\n1\n1\nC\nN\n0\nN\n1\n";
  const std::string console = opening("2x3", 2, 3, " 0.311951E+01") + typedBound("2x3", 'L') +
                              typedBound("2x3", 'U') + kCountsPrompts + results("2x3", " 3");
  const std::string third = " 0.33333333333333D+00";
  const Lines start = head("2x3", "1,  2", "1,  1,  1", " 3")
                      << typedCondition(true, "0.0000000000D+00", "0.1000000000D+01")
                      << countAndSum("2x3", 3, "0.10000000000000D+01");
  Lines report = start;
  report << Lines({kOrderNote, ""}) << block({"    0    0    1", "    1    1    0"}, third)
         << block({"    0    1    0", "    1    0    1"}, third)
         << block({"    1    0    0", "    0    1    1"}, third) << Lines({""});
  expectSession(input + "2\n1\n\n", console, report);
  report = start;
  report << Lines(
                {" De las 3 tablas, sólo se escriben las T1 tablas de mayor probabilidad (T1= 2).",
                 kOrderNote, ""})
         << block({"    0    0    1", "    1    1    0"}, third)
         << block({"    0    1    0", "    1    0    1"}, third);
  expectSession(input + "2\n0\n\n", console, report);
}

TEST(ConditionedSession, SumThatUnderflows) {
  // 2 x 2 with every marginal 10000: 10001 tables. U is the table 1 9999 /
  // 9999 1, of probability about exp(-13839.3); four tables are at most as
  // probable (x11 = 0, 1, 9999, 10000), all with probability 0. The largest
  // log-probability was raised twice, so the sum is only bounded.
  const std::string input =
      "2\n2\n10000\n10000\n10000\n10000\nc\nn\n0\ny\n1\n9999\n9999\n1\n1\n1\n\n";
  const std::string console =
      opening("2x2", 2, 2, " 0.977303E+04") + typedBound("2x2", 'L') + boundQuestion("2x2", 'U') +
      observedEntry("2x2", 2, 2, "   0.00000000000000     ") +
      "  La probabilidad de la tabla es demasiado pequeña, y se escribe como 0,\n"
      "  pero su logaritmo natural es\n"
      "\n     log(probilidad de la tabla introducida) = -0.13839345382826D+05\n" +
      kCountsPrompts + results("2x2", " 10001");
  Lines report = head("2x2", "10000,  10000", "10000,  10000", " 10001");
  report << Lines({"   MAYOR O IGUAL QUE 0.0000000000D+00",
                   " y MENOR O IGUAL QUE la probabilidad de la tabla", "", "           1   9999",
                   "        9999      1", "", "",
                   " [Número total de tablas 2x2 resultantes (que cumplen esa condición) = 4].", "",
                   " [Suma de las probabilidades de las 4 tablas 2x2 resultantes = "
                   "0.00000000000000D+00].",
                   " [La suma de las probabilidades es demasiado pequeña, y se escribe como 0.",
                   "  Dicha suma es menor que 4exp(-.1383934538E+05)].", "", " [Test de Fisher:",
                   "  p-Value de la tabla observada introducida < 4exp(-.1383934538E+05)].", ""})
         << bothGroupsNote(4, 1, 1)
         << Lines({" [Algunas de las probabilidades son demasiado pequeñas y pueden aparecer ",
                   "  escritas como 0. En caso de probabilidades demasiado pequeñas, ",
                   "  se escribe también el logaritmo natural de la misma].", ""});
  const std::string zero = " 0.00000000000000D+00";
  report << block({"      1   9999", "   9999      1"}, zero, "-0.138393453828D+05") << kSeparator
         << block({"      0  10000", "  10000      0"}, zero, "-0.138577660636D+05") << Lines({""});
  expectSession(input, console, report);
}

// The 20 characters after `label` in a report, and their value with the
// exponent letter read as E.
double numberAfter(const std::string& report, const std::string& label, std::string* field) {
  const size_t at = report.find(label);
  if (at == std::string::npos) {
    ADD_FAILURE() << "no \"" << label << "\" in\n" << report;
    return 0.0;
  }
  *field = report.substr(at + label.size(), 20);
  std::string number = *field;
  const size_t exponent = number.find('D');
  if (exponent == std::string::npos) {
    ADD_FAILURE() << "no D in \"" << number << "\"";
    return 0.0;
  }
  number[exponent] = 'E';
  return std::stod(number);
}

TEST(ConditionedSession, FisherPValuesAgreeWithIndependentValues) {
  // `pValue` from an independent implementation; `printed` is the exact
  // p-value rounded once to the field's fourteen digits. For the 4 x 4 table
  // (90161526 accepted tables) the true p-value is 0.78268493896639474 (long
  // double, from lgammal); a sum of the program's per-table doubles, exact as
  // it may be, gives 0.78268493896634783, since every one of them carries the
  // error of the log-margin constant (ln 96! as a running sum is more than an
  // ulp off), and added one at a time they gave 0.78268493891814. 17/35 =
  // 0.4857142857142857..., its fifteenth digit a 5 with more after it.
  const struct {
    std::vector<std::vector<int>> table;
    double pValue;
    std::string printed;
  } cases[] = {
      {{{1, 3, 10, 6}, {2, 3, 10, 7}, {1, 6, 14, 12}, {0, 1, 9, 11}},
       0.782684938965639,
       "0.78268493896639D+00"},
      {{{3, 1, 1}, {0, 6, 6}}, 0.0214932126696832, "0.21493212669683D-01"},
      {{{3, 1}, {1, 3}}, 0.485714285714286, "0.48571428571429D+00"},
  };
  for (const auto& c : cases) {
    // Option C with L = 0 and U the table: the sum of the tables at most as
    // probable, read back from the report.
    std::vector<int> rows(c.table.size(), 0), cols(c.table[0].size(), 0);
    std::string cells;
    for (size_t i = 0; i < rows.size(); ++i) {
      for (size_t j = 0; j < cols.size(); ++j) {
        rows[i] += c.table[i][j];
        cols[j] += c.table[i][j];
        cells += std::to_string(c.table[i][j]) + "\n";
      }
    }
    std::string input = std::to_string(rows.size()) + "\n" + std::to_string(cols.size()) + "\n";
    for (int v : rows) input += std::to_string(v) + "\n";
    for (int v : cols) input += std::to_string(v) + "\n";
    const std::string report =
        reportAsText(runSession(input + "C\nN\n0\nY\n" + cells + "1\n1\n\n").report);
    std::string field;
    const double pValue =
        numberAfter(report, "  p-Value de la tabla observada introducida = ", &field);
    EXPECT_NEAR(pValue, c.pValue, 1e-9 * c.pValue);
    if (!c.printed.empty()) {
      EXPECT_EQ(field, c.printed);
    }
  }
}

TEST(ConditionedSession, SumOfAMillionTablesIsOne) {
  // 4 x 4 with every marginal 8, option B with L = 0 and U = 1: all 981541
  // tables are accepted, and their probabilities sum to 1 to every printed
  // digit (one addition at a time gave 0.10000000000026D+01).
  const std::string report =
      reportAsText(runSession("4\n4\n8\n8\n8\n8\n8\n8\n8\n8\nB\nN\n0\nN\n1\n0\n0\n\n").report);
  std::string field;
  numberAfter(report,
              " [Suma de las probabilidades de las 981541 tablas 4x4 resultantes = ", &field);
  EXPECT_EQ(field, "0.10000000000000D+01");
}

// ---------------------------------------------------------------------------
// The report section alone, on states set by hand that no small run reaches.

TEST(ConditionedSection, CountWidthsAndListsTooLongForFourBytes) {
  // Option C with L = 0 and U = 1 typed, the outcome set by hand.
  ConditionRequest request;
  request.inclusive = true;
  request.upper.value = 1.0;
  request.upper.logValue = 0.0;
  auto section = [&](const ConditionOutcome& outcome, KeptTables& kept) {
    testing::DialogueHarness h("", {1, 1}, {1, 1});
    const TableLayout layout = tableLayoutOf(h.problem());
    writeConditionedSection(h.reportWriter(),
                            {h.problem(), request, outcome, kept.listing(), layout});
    return h.report();
  };
  for (int32_t count : {12345, 2000000000}) {
    ConditionOutcome outcome;
    outcome.count = count;
    outcome.sum = 1.0;
    outcome.maxRaises = 1;
    KeptTables none;
    const std::string report = section(outcome, none);
    const std::string n = std::to_string(count);
    EXPECT_NE(report.find("\n [Número total de tablas 2x2 resultantes (que cumplen esa "
                          "condición) = " +
                          n + "].\n"),
              std::string::npos)
        << report;
  }

  // T1 = T2 = 2147483647 cover every table: no note on what is listed, the
  // listing follows. (Their sum does not fit in four bytes.)
  request.t1 = request.t2 = 2147483647;
  ConditionOutcome outcome;
  outcome.count = 2;
  outcome.sum = 1.0;
  outcome.maxRaises = 1;
  // The lists hold one table each, both of probability 0.5, as a selection
  // with T1 = T2 = 1 leaves them: `second`, offered after `first`, only ties
  // with it and goes to the low list.
  MemoryBudget memory;
  KeptTables kept;
  ASSERT_TRUE(kept.lists.high.acquire(memory, 2, 2));
  ASSERT_TRUE(kept.lists.low.acquire(memory, 2, 2));
  ASSERT_TRUE(kept.highTables.acquire(memory, 1, 4));
  ASSERT_TRUE(kept.lowTables.acquire(memory, 1, 4));
  struct Cells {
    const int16_t* cells;
    void copyTo(int16_t* to) const { std::copy_n(cells, 4, to); }
  };
  const int16_t first[] = {0, 1, 1, 0}, second[] = {1, 0, 0, 1};
  TableSelector selector(kept.lists, kept.highTables, kept.lowTables, 1, 1, 4);
  const double half = std::log(0.5);
  selector.offer(half, toleranceBand(half), Cells{first});
  selector.offer(half, toleranceBand(half), Cells{second});
  selector.finishPass();
  const Lines expected = Lines({"", "", "", " TABLAS 2x2 DE LA DISTRIBUCIÓN, con probabilidad "})
                         << typedCondition(true, "0.0000000000D+00", "0.1000000000D+01")
                         << countAndSum("2x2", 2, "0.10000000000000D+01") << Lines({kOrderNote, ""})
                         << block({"    0    1", "    1    0"}, " 0.50000000000000D+00")
                         << block({"    1    0", "    0    1"}, " 0.50000000000000D+00")
                         << Lines({""});
  EXPECT_EQ(section(outcome, kept), joined(expected));
}

TEST(ConditionedSection, CountsAboveTwoBillionTakeTheRealForm) {
  // A Fisher test whose 3e9 accepted tables sum to an underflowed 0, T1 = 1:
  // every record that names the count writes it as the total of tables does
  // above 2e9, an 8-byte real in D16.10 with no blank before it.
  ConditionRequest request;
  request.inclusive = true;
  request.upper.source = Bound::Source::kObservedTable;
  request.upper.observedTable = {0, 1, 1, 0};
  request.upper.logValue = -13839.345382826;
  request.t1 = 1;
  ConditionOutcome outcome;
  outcome.count = 3000000000;
  outcome.maxLog = -13839.345382826;
  outcome.maxRaises = 2;
  KeptTables none;
  testing::DialogueHarness h("", {1, 1}, {1, 1});
  const TableLayout layout = tableLayoutOf(h.problem());
  writeConditionedSection(h.reportWriter(),
                          {h.problem(), request, outcome, none.listing(), layout});
  const std::string bound = "0.3000000000D+10exp(-.1383934538E+05)].";
  EXPECT_EQ(h.report(),
            joined({"",
                    "",
                    "",
                    " TABLAS 2x2 DE LA DISTRIBUCIÓN, con probabilidad ",
                    "   MAYOR O IGUAL QUE 0.0000000000D+00",
                    " y MENOR O IGUAL QUE la probabilidad de la tabla",
                    "",
                    "         0    1",
                    "         1    0",
                    "",
                    "",
                    " [Número total de tablas 2x2 resultantes (que cumplen esa condición) "
                    "=0.3000000000D+10].",
                    "",
                    " [Suma de las probabilidades de las0.3000000000D+10 tablas 2x2 resultantes = "
                    "0.00000000000000D+00].",
                    " [La suma de las probabilidades es demasiado pequeña, y se escribe como 0.",
                    "  Dicha suma es menor que" + bound,
                    "",
                    " [Test de Fisher:",
                    "  p-Value de la tabla observada introducida <" + bound,
                    "",
                    " De las0.3000000000D+10 tablas, sólo se escriben las T1 tablas de mayor "
                    "probabilidad (T1= 1).",
                    kOrderNote,
                    ""}));

  // Just above 2e9 already; 2e9 itself is still an integer (above).
  outcome.count = 2000000001;
  outcome.sum = 0.5;
  request.t1 = 0;
  testing::DialogueHarness next("", {1, 1}, {1, 1});
  writeConditionedSection(next.reportWriter(),
                          {next.problem(), request, outcome, none.listing(), layout});
  EXPECT_NE(next.report().find("condición) =0.2000000001D+10].\n"), std::string::npos)
      << next.report();
}

// ---------------------------------------------------------------------------

TEST(ConditionedPass, CountOfAcceptedTablesGoesPastFourBytes) {
  // The visitor's totals started just below 2^31: accepted tables, alone and
  // in pairs, count on without wrapping and without a stop. Every table is
  // the 2 x 2 table 0 1 / 1 0 of margins 1, 1 and 1, 1 (probability 1/2,
  // whatever log-probability it is handed in with); with T1 = T2 = 0 none is
  // kept.
  struct HalfTable {
    void copyTo(int16_t* cells) const {
      const int16_t table[] = {0, 1, 1, 0};
      std::copy(table, table + 4, cells);
    }
  };
  const Problem problem = makeProblem({1, 1}, {1, 1});
  const ExactProbabilities exact(problem);
  SelectionLists lists;
  TableStore high, low;
  TableSelector selector(lists, high, low, 0, 0, 4);
  ConditionTotals start;
  start.count = 2147483646;
  start.sum.add(toWide(0.25));
  OrderedSteps steps(selector, start.maxLog, start.maxRaises);
  ConditionVisitor visitor(AcceptedRange::atMost(-1.0), steps, exact, start);
  visitor.visit(-2.0, HalfTable{});
  visitor.visit(-0.5, HalfTable{});  // rejected
  visitor.visitPair(DoublePair{-3.0, -4.0}, HalfTable{}, HalfTable{});
  visitor.visitPair(DoublePair{-0.5, -5.0}, HalfTable{}, HalfTable{});
  EXPECT_EQ(visitor.count(), int64_t{2147483650});
  // The sum goes on from the start's and leaves out the rejected tables: four
  // halves and a quarter.
  EXPECT_EQ(visitor.sum().rounded(), 2.25);
  // The check of the kept lists compares the whole count.
  EXPECT_TRUE(keptListsConsistent(0, 0, int64_t{3000000000}, 0, 0));
  EXPECT_FALSE(keptListsConsistent(2147483647, 2147483647, int64_t{3000000000}, 3, 2));

  // The stop stays, for a count beyond any run's reach.
  start.count = kMaxConditionCount;
  ConditionVisitor last(AcceptedRange::atMost(-1.0), steps, exact, start);
  try {
    last.visit(-2.0, HalfTable{});
    ADD_FAILURE() << "no stop";
  } catch (const FatalStop& stop) {
    EXPECT_EQ(stop.reportMessage, "Demasiadas tablas. Contactar con el autor.");
  }
}

TEST(ConditionedPass, AgreesWithBruteForceOnRandomCases) {
  std::mt19937 rng(77);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int round = 0; round < 300; ++round) {
    const int r = pick(2, 4), c = pick(2, 4);
    const int n = pick(std::max(r, c), 14);
    const std::vector<int16_t> rows = testing::randomComposition(rng, n, r);
    const std::vector<int16_t> cols = testing::randomComposition(rng, n, c);
    const auto all = testing::everyTable(rows, cols);

    const Problem problem = makeProblem(rows, cols);
    // Bounds: L typed 0, or the log-probability of a table (as an observed
    // table, whose sum runs in another order); U a table's, or 1.
    ConditionRequest request;
    const bool optionC = pick(0, 1) == 1;
    request.inclusive = optionC;
    auto observed = [&] {
      const auto& t = all[pick(0, static_cast<int>(all.size()) - 1)];
      Bound bound;
      bound.source = Bound::Source::kObservedTable;
      bound.logValue = observedTableLogProb(problem, t.cells.data());
      bound.value = fastExp(*bound.logValue);
      return bound;
    };
    if (pick(0, 2) != 0) request.lower = observed();
    if (pick(0, 3) == 0) {
      request.upper.value = 1.0;
      request.upper.logValue = 0.0;
    } else {
      request.upper = observed();
    }
    request.t1 = pick(0, 6);
    request.t2 = pick(0, 6);
    MemoryBudget memory;
    KeptTables kept = acquireKeptTables(memory, problem, request, 1.0f);
    ProgressBar progress;
    const ConditionOutcome outcome = runConditionPass(problem, request, kept, progress);

    // Expected: the condition through the bounds' bands, narrowed for B and
    // widened for C; the exact sum of the accepted probabilities, rounded
    // once; the kept lists by the model.
    const bool lowerTyped0 = request.lower.typedAs(0.0);
    const LogBand lBand = toleranceBand(request.lower.logValue.value_or(0.0));
    const LogBand uBand = toleranceBand(*request.upper.logValue);
    const double upper = optionC ? uBand.high : uBand.low;
    const double lower = optionC ? lBand.low : lBand.high;
    int32_t count = 0, raises = 0;
    double maxLog = -2.0e300;
    testing::SelectionModel<const testing::GeneratedTable*> model(request.t1, request.t2);
    for (const auto& t : all) {
      const bool accepted =
          lowerTyped0 ? t.logProb <= upper : (lower < t.logProb && t.logProb < upper);
      if (!accepted) continue;
      ++count;
      if (toleranceBand(t.logProb).low > maxLog) {
        maxLog = t.logProb;
        ++raises;
      }
      model.offer({t.logProb, &t});
    }
    const std::string where = "round " + std::to_string(round);
    ASSERT_EQ(outcome.tableCount, all.size()) << where;
    ASSERT_EQ(outcome.count, count) << where;
    // The sum: the exact probability of the accepted tables, rounded once.
    std::map<std::vector<int>, double> logs;
    for (const auto& t : all) logs[std::vector<int>(t.cells.begin(), t.cells.end())] = t.logProb;
    const testing::ExactAcceptedSum exact = testing::exactAcceptedSum(
        std::vector<int>(rows.begin(), rows.end()), std::vector<int>(cols.begin(), cols.end()),
        [&](const testing::TableCells& cells) { return logs.at(cells); },
        [&](const testing::TableCells&, double logProb) {
          return lowerTyped0 ? logProb <= upper : (lower < logProb && logProb < upper);
        });
    if (count > 0) {
      ASSERT_EQ(formatExponent(outcome.exactSum, 20, 14, 'D'), exact.field) << where;
    }
    ASSERT_EQ(outcome.maxLog, maxLog) << where;
    ASSERT_EQ(outcome.maxRaises, raises) << where;

    for (const ListedTable& table : kept.listing()) {
      ASSERT_EQ(table.probability, fastExp(table.logProb)) << where;
    }
    std::vector<testing::KeptTable> expected;
    for (const auto& e : model.listing()) expected.push_back({e.payload->cells, e.logProb});
    ASSERT_EQ(testing::keptListing(kept, r * c), expected)
        << where << ", T1 = " << request.t1 << ", T2 = " << request.t2;
  }
}

}  // namespace
}  // namespace rxc
