// Option A: the passes against a brute-force enumeration, and the results
// written for outcomes set by hand that a small enumeration cannot reach
// (huge counts, full stores, kept lists out of step).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "base/fatal_stop.h"
#include "engine/option_a/option_a_passes.h"
#include "engine/stores/selection_lists.h"
#include "flow/result_stages.h"
#include "support/console_texts.h"
#include "support/dialogue_harness.h"
#include "support/reference_enumeration.h"
#include "support/report_texts.h"

namespace rxc {
namespace {

using testing::block;
using testing::joined;
using testing::kMinimumPrompt;
using testing::kModalPrompt;
using testing::kSeparator;
using testing::lines;
using testing::Lines;
using testing::operator<<;

// Both stores of `capacity` tables, as option A's passes find them, and the
// stage of a run that writes the results.
struct OptionARun : testing::DialogueHarness {
  OptionARun(const std::vector<int16_t>& rows, const std::vector<int16_t>& cols, int64_t capacity,
             const std::string& input = "")
      : DialogueHarness(input, rows, cols) {
    const int cells = problem().r * problem().c;
    kept.extremeCapacity = capacity;
    EXPECT_TRUE(kept.highTables.acquire(memory(), capacity, cells));
    EXPECT_TRUE(kept.lowTables.acquire(memory(), capacity, cells));
  }
  ResultContext context() { return {io(), reportWriter(), problem(), progress, kept, {}}; }
  KeptTables kept;
  ProgressBar progress;
};

TEST(OptionAPasses, GroupsAgreeWithABruteForceEnumerationOnRandomMargins) {
  // The probability is a constant over the product of the cells' factorials,
  // so equal products (exact integers here) are exactly equal probabilities.
  std::vector<uint64_t> factorial(13, 1);
  for (size_t k = 1; k < factorial.size(); ++k) factorial[k] = factorial[k - 1] * k;
  std::mt19937 random(424242);
  int distinct = 0;
  int equal = 0;
  for (int trial = 0; trial < 300; ++trial) {
    const int r = 2 + static_cast<int>(random() % 3);
    const int c = 2 + static_cast<int>(random() % 3);
    const int n = std::max(r, c) + static_cast<int>(random() % (13 - std::max(r, c)));
    const std::vector<int16_t> rows = testing::randomComposition(random, n, r);
    const std::vector<int16_t> cols = testing::randomComposition(random, n, c);
    const int16_t option = static_cast<int16_t>(1 + random() % 3);
    const int64_t capacity = trial % 4 == 0 ? 1 + static_cast<int64_t>(random() % 3) : 1000;
    SCOPED_TRACE("trial " + std::to_string(trial));

    const auto tables = testing::everyTable(rows, cols);
    std::vector<uint64_t> products;
    for (const auto& t : tables) {
      products.push_back(1);
      for (int16_t v : t.cells) products.back() *= factorial[v];
    }
    const uint64_t smallest = *std::min_element(products.begin(), products.end());
    const uint64_t largest = *std::max_element(products.begin(), products.end());
    std::vector<std::vector<int16_t>> modal, minimum;
    for (size_t k = 0; k < tables.size(); ++k) {
      if (products[k] == smallest) modal.push_back(tables[k].cells);
      if (products[k] == largest) minimum.push_back(tables[k].cells);
    }

    OptionARun run(rows, cols, capacity);
    const FirstPassOutcome first = runFirstPass(run.problem(), run.progress);
    if (smallest == largest) {
      ++equal;
      EXPECT_FALSE(first.differs);
      EXPECT_EQ(first.tableCount, tables.size());
      continue;
    }
    ++distinct;
    ASSERT_TRUE(first.differs);
    const TrackingOutcome tracking =
        runTrackingPass(run.problem(), static_cast<ExtremeOption>(option), first,
                        run.kept.highTables, run.kept.lowTables, capacity, run.progress);
    ASSERT_EQ(tracking.tableCount, tables.size());
    const ExtremeTracking& e = tracking.extremes;
    auto check = [&](const std::vector<std::vector<int16_t>>& group, double count, int32_t kept,
                     const TableStore& slots) {
      ASSERT_EQ(count, static_cast<double>(group.size()));
      ASSERT_EQ(kept, std::min<int64_t>(capacity, static_cast<int64_t>(group.size())));
      for (int k = 1; k <= kept; ++k) {
        EXPECT_EQ(std::vector<int16_t>(slots.slot(k), slots.slot(k) + r * c), group[k - 1]);
      }
    };
    if (option != 2) {
      check(modal, e.modeCount, e.modeKept, run.kept.highTables);
    } else {
      EXPECT_EQ(e.modeKept, 0);
    }
    if (option != 1) {
      check(minimum, e.minCount, e.minKept, run.kept.lowTables);
    } else {
      EXPECT_EQ(e.minKept, 0);
    }
  }
  EXPECT_GT(distinct, 200);
  EXPECT_GT(equal, 0);
}

// ---------------------------------------------------------------------------
// The results on outcomes set by hand, 3 x 2 tables: table k of a store
// holds k, k+1, ..., k+5.

void fillSlots(TableStore& slots, int count) {
  for (int k = 1; k <= count; ++k) {
    for (int q = 0; q < 6; ++q) slots.slot(k)[q] = static_cast<int16_t>(k + q);
  }
}

Lines numberedBlock(int k, const std::string& prob, const std::string& log = "") {
  auto cells = [k](int q) {
    std::string a = std::to_string(k + q), b = std::to_string(k + q + 1);
    return std::string(5 - a.size(), ' ') + a + std::string(5 - b.size(), ' ') + b;
  };
  return block({cells(0), cells(2), cells(4)}, prob, log);
}

TEST(ResultsSummary, HugeCountsUseTheRealForm) {
  // (The re-asked questions are in the whole-session tests.)
  OptionARun run({2, 2, 2}, {3, 3}, 3, "2\n3\n");
  ExtremeTracking e;
  e.modeLogProb = std::log(0.25);
  e.modeCount = 600000.0;
  e.modeKept = 500000;
  e.minLogProb = -800.5;
  e.minCount = 2.5e9;
  e.minKept = 500000;
  fillSlots(run.kept.highTables, 2);
  fillSlots(run.kept.lowTables, 3);

  ResultContext context = run.context();
  writeExtremeResults(context, 3.0e9, e);

  EXPECT_EQ(
      run.console(),
      lines({"", "", "", "", "  Numero total de tablas 3x2 de la distribucion =0.3000000000D+10",
             "", "", "", "", "", "  Numero total de tablas 3x2 de maxima probabilidad = 600000", "",
             kModalPrompt, "", "", "",
             "  Numero total de tablas 3x2 de minima probabilidad =0.2500000000D+10", ""}) +
          kMinimumPrompt);

  Lines report({"", "  Numero total de tablas 3x2 de la distribucion =0.3000000000D+10", "", "", "",
                "", "  TABLAS 3x2 DE MÁXIMA PROBABILIDAD (Moda de la distribución):", "",
                " [Número total de tablas 3x2 de máxima probabilidad = 600000].",
                "  [Se escriben 2 tablas de máxima probabilidad].", ""});
  report << numberedBlock(1, " 0.25000000000000D+00") << numberedBlock(2, " 0.25000000000000D+00")
         << kSeparator
         << Lines({"", "", "  TABLAS 3x2 DE MÍNIMA PROBABILIDAD:", "",
                   " [Número total de tablas 3x2 de mínima probabilidad =0.2500000000D+10].", "",
                   "  [Se escriben 3 tablas de mínima probabilidad].",
                   "  [La probabilidad es demasiado pequeña y se escribe como 0.",
                   "   Se escribe también el logaritmo natural de la probabilidad].", ""});
  for (int k = 1; k <= 3; ++k) {
    report << numberedBlock(k, " 0.00000000000000D+00", "-0.800500000000D+03");
  }
  EXPECT_EQ(run.report(), joined(report));
}

TEST(ResultsSummary, TenHeldTablesWrittenUnaskedElevenAskedForAndLoweredToTheHeld) {
  // Ten modal tables are written without a question. Of the 40 minimum tables
  // only 11 were held (a low estimate gave a small store): the count is the
  // whole one, and asking for 100 writes the 11 held.
  OptionARun run({2, 2, 2}, {3, 3}, 11, "100\n");
  ExtremeTracking e;
  e.modeLogProb = std::log(0.01);
  e.modeCount = 10.0;
  e.modeKept = 10;
  e.minLogProb = std::log(0.001);
  e.minCount = 40.0;
  e.minKept = 11;
  fillSlots(run.kept.highTables, 10);
  fillSlots(run.kept.lowTables, 11);

  ResultContext context = run.context();
  writeExtremeResults(context, 1000.0, e);

  EXPECT_EQ(run.console(),
            lines({"", "", "", "", "  Numero total de tablas 3x2 de la distribucion = 1000", "", "",
                   "", "", "  Numero total de tablas 3x2 de minima probabilidad = 40", ""}) +
                kMinimumPrompt);
  Lines report({"", "  Numero total de tablas 3x2 de la distribucion = 1000", "", "", "",
                "  TABLAS 3x2 DE MÁXIMA PROBABILIDAD (Moda de la distribución):", "",
                "  [Número total de tablas 3x2 de máxima probabilidad = 10]", ""});
  for (int k = 1; k <= 10; ++k) report << numberedBlock(k, " 0.10000000000000D-01");
  report << kSeparator
         << Lines({"", "", "  TABLAS 3x2 DE MÍNIMA PROBABILIDAD:", "",
                   "  [Número total de tablas 3x2 de mínima probabilidad = 40]", "",
                   "  [Se escriben 11 tablas de mínima probabilidad].", ""});
  for (int k = 1; k <= 11; ++k) report << numberedBlock(k, " 0.10000000000000D-02");
  EXPECT_EQ(run.report(), joined(report));
}

TEST(ResultsSummary, KeptListsThatDisagreeWithTheConditionStopTheRun) {
  // The largest requests cover every accepted table, so the lists must hold
  // them all; the sum of the requests must not wrap around.
  const int32_t most = 2147483647;
  EXPECT_FALSE(keptListsConsistent(most, most, 5, 3, 1));
  EXPECT_TRUE(keptListsConsistent(most, most, 5, 3, 2));
  EXPECT_FALSE(keptListsConsistent(2, most, 5, 3, 2));  // more kept than asked for
  EXPECT_FALSE(keptListsConsistent(3, 1, 100, 3, 2));
  EXPECT_TRUE(keptListsConsistent(3, 2, 100, 3, 2));

  // A failed check stops the run after the report's total record, with
  // " Error 2" on the console and nothing more in the report.
  OptionARun run({2, 2, 2}, {3, 3}, 1);
  ResultContext context = run.context();
  try {
    writeTotals(context, 7.0, /*keptListsOk=*/false);
    FAIL() << "no stop";
  } catch (const FatalStop& stop) {
    EXPECT_TRUE(stop.consoleError2);
    EXPECT_EQ(stop.reportMessage, "");
  }
  run.reportWriter().list();  // as the run's end completes the open record
  EXPECT_EQ(run.report(), "\n  Numero total de tablas 3x2 de la distribucion = 7\n");
}

}  // namespace
}  // namespace rxc
