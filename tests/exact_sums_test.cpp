// The printed sums of options B and C against exact rational values: every
// table of a small problem is enumerated with its probability as a fraction
// of big integers, the accepted ones (by the log-probabilities and the bands
// the program documents) are added exactly, and the sum rounded once to the
// fourteen digits of D20.14 must be the field the report prints, with the
// network walk and with the full walk alike. p = 1 (every table accepted)
// must print 0.10000000000000D+01.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "base/tolerance.h"
#include "support/exact_probabilities.h"
#include "support/reference_enumeration.h"
#include "support/session_driver.h"

namespace rxc {
namespace {

using testing::GeneratedTable;

struct Draw {
  std::vector<int16_t> rows, cols;
  std::string input;
  char option = 'C';
  bool lowerTyped0 = true;
  double lowerLog = 0.0;
  double upperLog = 0.0;
};

std::string cellsText(const std::vector<int16_t>& cells) {
  std::string text;
  for (int16_t v : cells) text += std::to_string(v) + "\n";
  return text;
}

// A session of option B or C on small random margins: Fisher's test (L = 0,
// U a table), two tables as bounds, or L = 0 and U = 1 typed.
Draw drawSession(std::mt19937& random) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  Draw d;
  const int r = pick(2, 4);
  const int c = pick(2, 4);
  const int n = pick(std::max(r, c), r * c <= 9 ? 22 : 14);
  d.rows = testing::randomComposition(random, n, r);
  d.cols = testing::randomComposition(random, n, c);
  const std::vector<GeneratedTable> all = testing::everyTable(d.rows, d.cols);
  auto any = [&]() -> const GeneratedTable& {
    return all[static_cast<size_t>(pick(0, static_cast<int>(all.size()) - 1))];
  };
  d.input =
      std::to_string(r) + "\n" + std::to_string(c) + "\n" + cellsText(d.rows) + cellsText(d.cols);
  const int kind = pick(0, 5);
  if (kind == 0) {  // p = 1
    d.input += "C\nN\n0\nN\n1\n";
    d.upperLog = 0.0;
  } else if (kind <= 3) {  // Fisher's test
    const GeneratedTable& t = any();
    d.input += "C\nN\n0\nY\n" + cellsText(t.cells);
    d.upperLog = t.logProb;
  } else {  // two tables, the less probable one below
    const GeneratedTable* a = &any();
    const GeneratedTable* b = &any();
    if (a->logProb > b->logProb) std::swap(a, b);
    d.option = kind == 4 ? 'B' : 'C';
    d.input +=
        std::string(1, d.option) + "\nY\n" + cellsText(a->cells) + "Y\n" + cellsText(b->cells);
    d.lowerTyped0 = false;
    d.lowerLog = a->logProb;
    d.upperLog = b->logProb;
  }
  d.input += "2\n2\n\n";  // T1, T2, the closing read
  return d;
}

// Log-probabilities of the bounds as the program has them: a typed bound's
// logarithm, or the observed table's, whose sum runs row by row.
double observedLog(const Problem& problem, const std::vector<int16_t>& cells) {
  return observedTableLogProb(problem, cells.data());
}

std::string printedSum(const std::string& report) {
  const std::string label = " resultantes = ";
  const size_t at = report.find(label);
  if (at == std::string::npos) return "";
  return report.substr(at + label.size(), 20);
}

TEST(ExactSums, PrintedSumsAreTheExactProbabilityRoundedOnce) {
  std::mt19937 random(4242);
  int checked = 0;
  int ones = 0;
  for (int round = 0; round < 150; ++round) {
    Draw d = drawSession(random);
    const Problem problem = makeProblem(d.rows, d.cols);
    // The program compares the tables with the observed tables' log-
    // probabilities, which it sums in the observed order.
    if (d.input.find("\nY\n") != std::string::npos) {
      const std::vector<GeneratedTable> all = testing::everyTable(d.rows, d.cols);
      for (const GeneratedTable& t : all) {
        if (t.logProb == d.upperLog) {
          d.upperLog = observedLog(problem, t.cells);
          break;
        }
      }
      if (!d.lowerTyped0) {
        for (const GeneratedTable& t : all) {
          if (t.logProb == d.lowerLog) {
            d.lowerLog = observedLog(problem, t.cells);
            break;
          }
        }
      }
    }
    std::map<std::vector<int>, double> logs;
    for (const GeneratedTable& t : testing::everyTable(d.rows, d.cols)) {
      logs[std::vector<int>(t.cells.begin(), t.cells.end())] = t.logProb;
    }
    const bool inclusive = d.option == 'C';
    const LogBand upper = toleranceBand(d.upperLog);
    const LogBand lower = toleranceBand(d.lowerLog);
    const double top = inclusive ? upper.high : upper.low;
    const double bottom = inclusive ? lower.low : lower.high;
    const testing::ExactAcceptedSum expected = testing::exactAcceptedSum(
        std::vector<int>(d.rows.begin(), d.rows.end()),
        std::vector<int>(d.cols.begin(), d.cols.end()),
        [&](const testing::TableCells& cells) { return logs.at(cells); },
        [&](const testing::TableCells&, double logProb) {
          return d.lowerTyped0 ? logProb <= top : (bottom < logProb && logProb < top);
        });
    for (bool bounded : {true, false}) {
      RunSettings settings;
      settings.boundedEnumeration = bounded;
      settings.workers = 1;
      const auto outcome = testing::runSession(d.input, settings);
      if (outcome.status != 0) continue;  // a bound the dialogue asked again for
      const std::string report = testing::reportAsText(outcome.report);
      if (expected.accepted == 0) {
        EXPECT_EQ(printedSum(report), "") << "round " << round;
        continue;
      }
      EXPECT_EQ(printedSum(report), expected.field)
          << "round " << round << (bounded ? " bounded" : " full") << "\n"
          << d.input;
      ++checked;
      if (expected.field == "0.10000000000000D+01") ++ones;
    }
    if (::testing::Test::HasFailure()) break;
  }
  EXPECT_GE(checked, 200);
  EXPECT_GE(ones, 10);
}

}  // namespace
}  // namespace rxc
