// Option A on a run state filled by hand: the first pass and its restart, the
// tracking pass against a brute-force enumeration, and the results summary for
// states that a small enumeration cannot reach (huge counts, full stores).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "dialogue/session.h"
#include "engine/option_a_passes.h"
#include "report/summary_section.h"
#include "support/session_driver.h"

namespace rxc {
namespace {

using testing::lines;
using testing::reportAsText;

// A session whose state holds the margins, the log-factorials and the stores
// that the stages before the enumeration would have left.
class HandRun {
 public:
  HandRun(const std::vector<int16_t>& rows, const std::vector<int16_t>& cols, int16_t extremeOption,
          int64_t capacity, const std::string& input = "")
      : in_(input), session_(in_, console_, report_, MemoryBudget()) {
    RunState& s = session_.state;
    s.r = static_cast<int16_t>(rows.size());
    s.c = static_cast<int16_t>(cols.size());
    s.dimText = std::to_string(s.r) + "x" + std::to_string(s.c);
    s.rowMargin = {0};
    s.rowMargin.insert(s.rowMargin.end(), rows.begin(), rows.end());
    s.colMargin = {0};
    s.colMargin.insert(s.colMargin.end(), cols.begin(), cols.end());
    s.n = std::accumulate(rows.begin(), rows.end(), 0);
    s.shortSide = std::min(s.r, s.c);
    s.logFactorial.extendTo(s.n + s.shortSide - 2);
    s.logMarginConst = computeLogMarginConst(s.logFactorial, s.rowMargin, s.colMargin, s.n);
    const int16_t widest = *std::max_element(cols.begin(), cols.end());
    s.cellWidth = widest < 100 ? 5 : (widest < 10000 ? 6 : 7);
    s.tableLineWidth = static_cast<int16_t>(s.c * s.cellWidth);
    s.resultOption = 'A';
    s.runMode = 5;
    s.extremeOption = extremeOption;
    s.extremeCapacity = capacity;
    const int cells = s.r * s.c;
    EXPECT_TRUE(s.highTables.acquire(session_.memory, capacity, cells));
    EXPECT_TRUE(s.lowTables.acquire(session_.memory, capacity, cells));
  }

  Session& session() { return session_; }
  RunState& state() { return session_.state; }
  std::string console() const { return console_.str(); }
  std::string report() const { return reportAsText(report_.str()); }

 private:
  std::istringstream in_;
  std::ostringstream console_;
  std::ostringstream report_;
  Session session_;
};

std::vector<int16_t> slotCells(const TableSlots& slots, int64_t k, int cells) {
  return std::vector<int16_t>(slots.slot(k), slots.slot(k) + cells);
}

// ---------------------------------------------------------------------------
// The passes.

TEST(OptionAPasses, FirstPassStopsAtTheFirstTableOfAnotherProbability) {
  // Rows 2, 2, 2 and columns 3, 3: tables 1-3 have probability 0.1, the
  // fourth (every cell 1) 0.4.
  HandRun run({2, 2, 2}, {3, 3}, 3, 100);
  const FirstPassOutcome first =
      runFirstPass(enumerationInputFrom(run.state()), run.state().progress);
  EXPECT_TRUE(first.differs);
  EXPECT_EQ(first.tableCount, 4u);
  EXPECT_NEAR(first.modeLogProb, std::log(0.4), 1e-13);
  EXPECT_NEAR(first.minLogProb, std::log(0.1), 1e-13);
}

TEST(OptionAPasses, ALessProbableSecondTableStopsTheFirstPassAtOnce) {
  // Rows 1, 4 and columns 1, 4: x11 = 0 has probability 0.8, x11 = 1 has 0.2.
  HandRun run({1, 4}, {1, 4}, 3, 100);
  const FirstPassOutcome first =
      runFirstPass(enumerationInputFrom(run.state()), run.state().progress);
  EXPECT_TRUE(first.differs);
  EXPECT_EQ(first.tableCount, 2u);
  EXPECT_NEAR(first.modeLogProb, std::log(0.8), 1e-13);
  EXPECT_NEAR(first.minLogProb, std::log(0.2), 1e-13);
}

// Every table with the given margins, in generation order (the interior cells
// read column by column, ascending, the last one fastest), each with the
// product of the factorials of its cells: the probability is a constant over
// that product, so equal products are exactly equal probabilities.
struct BruteTable {
  std::vector<int16_t> cells;  // row-major
  uint64_t factorialProduct;
};

std::vector<BruteTable> bruteForceTables(const std::vector<int16_t>& rows,
                                         const std::vector<int16_t>& cols) {
  const int r = static_cast<int>(rows.size());
  const int c = static_cast<int>(cols.size());
  std::vector<uint64_t> factorial(64, 1);
  for (size_t k = 1; k < factorial.size(); ++k) factorial[k] = factorial[k - 1] * k;
  std::vector<int> x(static_cast<size_t>(r * c), 0);
  std::vector<BruteTable> tables;
  std::function<void(int)> place = [&](int q) {
    if (q == (r - 1) * (c - 1)) {
      std::vector<int16_t> cells(static_cast<size_t>(r * c));
      uint64_t product = 1;
      for (int i = 0; i < r; ++i) {
        for (int j = 0; j < c; ++j) {
          int value = 0;
          if (i < r - 1 && j < c - 1) {
            value = x[i * c + j];
          } else if (i == r - 1 && j < c - 1) {
            value = cols[j];
            for (int k = 0; k < r - 1; ++k) value -= x[k * c + j];
          } else if (j == c - 1 && i < r - 1) {
            value = rows[i];
            for (int k = 0; k < c - 1; ++k) value -= x[i * c + k];
          } else {
            value = rows[r - 1];
            for (int k = 0; k < c - 1; ++k) value -= cells[(r - 1) * c + k];
          }
          if (value < 0) return;
          cells[i * c + j] = static_cast<int16_t>(value);
          product *= factorial[value];
        }
      }
      int lastColumn = 0;
      for (int i = 0; i < r; ++i) lastColumn += cells[i * c + c - 1];
      if (lastColumn != cols[c - 1]) return;
      tables.push_back({cells, product});
      return;
    }
    const int i = q % (r - 1);
    const int j = q / (r - 1);
    for (int v = 0; v <= std::min(rows[i], cols[j]); ++v) {
      x[i * c + j] = v;
      place(q + 1);
    }
  };
  place(0);
  return tables;
}

std::vector<int16_t> randomComposition(std::mt19937& random, int total, int parts) {
  // `parts` positive values adding up to `total`.
  std::vector<int> cuts(static_cast<size_t>(total - 1));
  std::iota(cuts.begin(), cuts.end(), 1);
  std::shuffle(cuts.begin(), cuts.end(), random);
  cuts.resize(static_cast<size_t>(parts - 1));
  std::sort(cuts.begin(), cuts.end());
  std::vector<int16_t> values;
  int previous = 0;
  for (int cut : cuts) {
    values.push_back(static_cast<int16_t>(cut - previous));
    previous = cut;
  }
  values.push_back(static_cast<int16_t>(total - previous));
  return values;
}

TEST(OptionAPasses, GroupsAgreeWithABruteForceEnumerationOnRandomMargins) {
  std::mt19937 random(424242);
  int distinct = 0;
  int equal = 0;
  for (int trial = 0; trial < 300; ++trial) {
    const int r = 2 + static_cast<int>(random() % 3);
    const int c = 2 + static_cast<int>(random() % 3);
    const int n = std::max(r, c) + static_cast<int>(random() % (13 - std::max(r, c)));
    const std::vector<int16_t> rows = randomComposition(random, n, r);
    const std::vector<int16_t> cols = randomComposition(random, n, c);
    const int16_t option = static_cast<int16_t>(1 + random() % 3);
    const int64_t capacity = trial % 4 == 0 ? 1 + static_cast<int64_t>(random() % 3) : 1000;
    SCOPED_TRACE("trial " + std::to_string(trial));

    const std::vector<BruteTable> tables = bruteForceTables(rows, cols);
    uint64_t smallest = UINT64_MAX, largest = 0;
    for (const BruteTable& t : tables) {
      smallest = std::min(smallest, t.factorialProduct);
      largest = std::max(largest, t.factorialProduct);
    }
    std::vector<const BruteTable*> modal, minimum;
    for (const BruteTable& t : tables) {
      if (t.factorialProduct == smallest) modal.push_back(&t);
      if (t.factorialProduct == largest) minimum.push_back(&t);
    }

    HandRun run(rows, cols, option, capacity);
    runOptionAPasses(run.session());
    const RunState& s = run.state();
    ASSERT_EQ(s.tableCount, static_cast<double>(tables.size()));
    if (smallest == largest) {
      ++equal;
      EXPECT_EQ(s.writePass, 1);
      EXPECT_EQ(s.runMode, 5);
      continue;
    }
    ++distinct;
    ASSERT_EQ(s.runMode, 1);
    const int cells = r * c;
    auto check = [&](const std::vector<const BruteTable*>& group, double count, int32_t kept,
                     const TableSlots& slots) {
      ASSERT_EQ(count, static_cast<double>(group.size()));
      ASSERT_EQ(kept, std::min<int64_t>(capacity, static_cast<int64_t>(group.size())));
      for (int k = 1; k <= kept; ++k) EXPECT_EQ(slotCells(slots, k, cells), group[k - 1]->cells);
    };
    if (option != 2) {
      check(modal, s.extremes.modeCount, s.extremes.modeKept, s.highTables);
    } else {
      EXPECT_EQ(s.extremes.modeKept, 0);
    }
    if (option != 1) {
      check(minimum, s.extremes.minCount, s.extremes.minKept, s.lowTables);
    } else {
      EXPECT_EQ(s.extremes.minKept, 0);
    }
  }
  EXPECT_GT(distinct, 200);
  EXPECT_GT(equal, 0);
}

// ---------------------------------------------------------------------------
// The results summary on states set by hand.

// Puts `count` tables of 3 x 2 cells into the store: table k holds k, k+1, ...
void fillSlots(TableSlots& slots, int count) {
  for (int k = 1; k <= count; ++k) {
    for (int q = 0; q < 6; ++q) slots.slot(k)[q] = static_cast<int16_t>(k + q);
  }
}

// The narrow block of one such table (cell width 5).
std::vector<std::string> blockLines(int k, const std::string& prob, const std::string& log) {
  auto cell = [](int v) {
    std::string text = std::to_string(v);
    return std::string(5 - text.size(), ' ') + text;
  };
  std::vector<std::string> out = {""};
  out.push_back(cell(k) + cell(k + 1) + "      Prob.=" + prob);
  out.push_back(cell(k + 2) + cell(k + 3) + (log.empty() ? "" : "      log(Prob.)=" + log));
  out.push_back(cell(k + 4) + cell(k + 5));
  out.push_back("");
  return out;
}

std::string joined(const std::vector<std::string>& text) {
  std::string out;
  for (const std::string& line : text) out += line + "\n";
  return out;
}

void append(std::vector<std::string>& to, const std::vector<std::string>& more) {
  to.insert(to.end(), more.begin(), more.end());
}

const std::string kArrowLine = "  " + std::string(60, '>');
const std::vector<std::string> kSeparator = {"", "",         kArrowLine, "", kArrowLine,
                                             "", kArrowLine, "",         ""};

TEST(ResultsSummary, HugeCountsUseTheRealFormAndQuestionsReAsk) {
  HandRun run({2, 2, 2}, {3, 3}, 3, 3, "2\n-1\n500001\n3\n");
  RunState& s = run.state();
  s.runMode = 1;
  s.tableCount = 3.0e9;
  s.extremes.modeLogProb = std::log(0.25);
  s.extremes.modeCount = 600000.0;
  s.extremes.modeKept = 500000;
  s.extremes.minLogProb = -800.5;
  s.extremes.minCount = 2.5e9;
  s.extremes.minKept = 500000;
  fillSlots(s.highTables, 2);
  fillSlots(s.lowTables, 3);

  EXPECT_FALSE(writeResultsSummary(run.session()));

  const std::string modalPrompt =
      "  Introducir numero de tablas de maxima probabilidad a escribir: ";
  const std::string minimumPrompt =
      "  Introducir numero de tablas de minima probabilidad a escribir: ";
  EXPECT_EQ(
      run.console(),
      lines({"", "", "", "", "  Numero total de tablas 3x2 de la distribucion =0.3000000000D+10",
             "", "", "", "", "", "  Numero total de tablas 3x2 de maxima probabilidad = 600000", "",
             modalPrompt, "", "", "",
             "  Numero total de tablas 3x2 de minima probabilidad =0.2500000000D+10", "",
             // The answers end no line: the re-asked prompt continues the
             // prompt's record; the message, too long for what is left of
             // it, goes to a record of its own.
             minimumPrompt + minimumPrompt + " ", "  No puede ser mayor que 500000."}) +
          minimumPrompt);

  std::vector<std::string> report = {
      "",
      "  Numero total de tablas 3x2 de la distribucion =0.3000000000D+10",
      "",
      "",
      "",
      "",
      "  TABLAS 3x2 DE MÁXIMA PROBABILIDAD (Moda de la distribución):",
      "",
      " [Número total de tablas 3x2 de máxima probabilidad = 600000].",
      "  [Se escriben 2 tablas de máxima probabilidad].",
      ""};
  append(report, blockLines(1, " 0.25000000000000D+00", ""));
  append(report, blockLines(2, " 0.25000000000000D+00", ""));
  append(report, kSeparator);
  append(report, {"", "", "  TABLAS 3x2 DE MÍNIMA PROBABILIDAD:", "",
                  " [Número total de tablas 3x2 de mínima probabilidad =0.2500000000D+10].", "",
                  "  [Se escriben 3 tablas de mínima probabilidad].",
                  "  [La probabilidad es demasiado pequeña y se escribe como 0.",
                  "   Se escribe también el logaritmo natural de la probabilidad].", ""});
  for (int k = 1; k <= 3; ++k) {
    append(report, blockLines(k, " 0.00000000000000D+00", "-0.800500000000D+03"));
  }
  EXPECT_EQ(run.report(), joined(report));
}

TEST(ResultsSummary, ZeroWritesNoModalTableAndTheLimitIsLoweredToTheHeldTables) {
  HandRun run({2, 2, 2}, {3, 3}, 3, 12, "0\n500000\n");
  RunState& s = run.state();
  s.runMode = 1;
  s.tableCount = 9.0;
  s.extremes.modeLogProb = std::log(0.125);
  s.extremes.modeCount = 11.0;
  s.extremes.modeKept = 11;
  s.extremes.minLogProb = -704.0;  // e^-704 = 1.80586275135226673e-306: below Tiny, above 0
  s.extremes.minCount = 12.0;
  s.extremes.minKept = 12;
  fillSlots(s.lowTables, 12);

  writeResultsSummary(run.session());

  EXPECT_EQ(run.console(),
            lines({"", "", "", "", "  Numero total de tablas 3x2 de la distribucion = 9", "", "",
                   "", "", "  Numero total de tablas 3x2 de maxima probabilidad = 11", "",
                   "  Introducir numero de tablas de maxima probabilidad a escribir: ", "", "", "",
                   "  Numero total de tablas 3x2 de minima probabilidad = 12", ""}) +
                "  Introducir numero de tablas de minima probabilidad a escribir: ");

  std::vector<std::string> report = {
      "",
      "  Numero total de tablas 3x2 de la distribucion = 9",
      "",
      "",
      "",
      "  TABLAS 3x2 DE MÁXIMA PROBABILIDAD (Moda de la distribución):",
      "",
      "  [Número total de tablas 3x2 de máxima probabilidad = 11]",
      "  [No se escribe ninguna tabla de máxima probabilidad]."};
  append(report, kSeparator);
  append(report, {"", "", "  TABLAS 3x2 DE MÍNIMA PROBABILIDAD:", "",
                  "  [Número total de tablas 3x2 de mínima probabilidad = 12]", "",
                  "  [La probabilidad es demasiado pequeña, y se escribe también el",
                  "   logaritmo natural de la misma].", ""});
  for (int k = 1; k <= 12; ++k) {
    append(report, blockLines(k, " 0.18058627513523-305", "-0.704000000000D+03"));
  }
  EXPECT_EQ(run.report(), joined(report));
}

TEST(ResultsSummary, TenHeldTablesAreWrittenWithoutAQuestion) {
  HandRun run({2, 2, 2}, {3, 3}, 2, 10);
  RunState& s = run.state();
  s.runMode = 1;
  s.tableCount = 10.0;
  s.extremes.minLogProb = std::log(0.5);
  s.extremes.minCount = 10.0;
  s.extremes.minKept = 10;
  fillSlots(s.lowTables, 10);

  writeResultsSummary(run.session());

  EXPECT_EQ(run.console(),
            lines({"", "", "", "", "  Numero total de tablas 3x2 de la distribucion = 10"}));
  std::vector<std::string> report = {
      "", "  Numero total de tablas 3x2 de la distribucion = 10",
      "", "",
      "", "  TABLAS 3x2 DE MÍNIMA PROBABILIDAD:",
      "", "  [Número total de tablas 3x2 de mínima probabilidad = 10]",
      "", ""};
  for (int k = 1; k <= 10; ++k) append(report, blockLines(k, " 0.50000000000000D+00", ""));
  EXPECT_EQ(run.report(), joined(report));
}

TEST(ResultsSummary, AFullStoreStillReportsTheWholeCount) {
  // 40 modal tables met but only 25 held (a low estimate gave a small store):
  // the report gives the count, and says how many tables it writes.
  HandRun run({2, 2, 2}, {3, 3}, 1, 25, "100\n");
  RunState& s = run.state();
  s.runMode = 1;
  s.tableCount = 1000.0;
  s.extremes.modeLogProb = std::log(0.001);
  s.extremes.modeCount = 40.0;
  s.extremes.modeKept = 25;
  fillSlots(s.highTables, 25);

  writeResultsSummary(run.session());

  std::vector<std::string> report = {
      "",
      "  Numero total de tablas 3x2 de la distribucion = 1000",
      "",
      "",
      "",
      "  TABLAS 3x2 DE MÁXIMA PROBABILIDAD (Moda de la distribución):",
      "",
      "  [Número total de tablas 3x2 de máxima probabilidad = 40]",
      "  [Se escriben 25 tablas de máxima probabilidad].",
      ""};
  for (int k = 1; k <= 25; ++k) append(report, blockLines(k, " 0.10000000000000D-02", ""));
  EXPECT_EQ(run.report(), joined(report));
}

TEST(ResultsSummary, KeptListsThatDisagreeWithTheConditionStopTheRun) {
  HandRun run({2, 2, 2}, {3, 3}, 0, 1);
  RunState& s = run.state();
  s.runMode = 3;
  s.tableCount = 7.0;
  // The largest requests cover every accepted table, so the lists must hold
  // them all; the sum of the requests must not wrap around.
  s.t1 = 2147483647;
  s.t2 = 2147483647;
  s.conditionCount = 5;
  s.selection.highKept = 3;
  s.selection.lowKept = 1;
  EXPECT_THROW(writeResultsSummary(run.session()), FatalStop);

  s.selection.lowKept = 2;
  EXPECT_TRUE(writeResultsSummary(run.session()));

  s.t1 = 2;  // more kept than asked for
  EXPECT_THROW(writeResultsSummary(run.session()), FatalStop);
}

}  // namespace
}  // namespace rxc
