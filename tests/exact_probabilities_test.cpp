// The exact reference for sums of probabilities (support/exact_probabilities.h):
// tiny cases worked out by hand, the exact D20.14 rounding of rationals, the
// total of every table being exactly 1; then the wide building blocks (ln k!
// to double-double, wideExp, WideSum, the wide D20.14 field) against it on
// accepted subsets of small problems.
#include "support/exact_probabilities.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "base/log_factorial.h"
#include "base/wide_log_factorial.h"
#include "base/wide_real.h"
#include "base/wide_sum.h"
#include "records/number_format.h"
#include "support/big_integer.h"

namespace rxc {
namespace {

using testing::BigInteger;
using testing::exactAcceptedSum;
using testing::exactD20_14;
using testing::forEachExactTable;
using testing::Rational;
using testing::TableCells;

Rational fraction(uint64_t numerator, uint64_t denominator) {
  return Rational{BigInteger(numerator), BigInteger(denominator)};
}

Rational tenToThe(int n, bool negative) {
  return negative ? Rational{BigInteger(1), BigInteger::powerOfTen(n)}
                  : Rational{BigInteger::powerOfTen(n), BigInteger(1)};
}

TEST(ExactProbabilities, D20_14RoundsOnceTiesToEven) {
  EXPECT_EQ(exactD20_14(fraction(0, 1)), "0.00000000000000D+00");
  EXPECT_EQ(exactD20_14(fraction(1, 1)), "0.10000000000000D+01");
  EXPECT_EQ(exactD20_14(fraction(1, 3)), "0.33333333333333D+00");
  EXPECT_EQ(exactD20_14(fraction(2, 3)), "0.66666666666667D+00");
  EXPECT_EQ(exactD20_14(fraction(123456789012345, 1000000000000000)), "0.12345678901234D+00");
  EXPECT_EQ(exactD20_14(fraction(123456789012355, 1000000000000000)), "0.12345678901236D+00");
  EXPECT_EQ(exactD20_14(fraction(999999999999995, 1000000000000000)), "0.10000000000000D+01");
  EXPECT_EQ(exactD20_14(fraction(999999999999994, 1000000000000000)), "0.99999999999999D+00");
  EXPECT_EQ(exactD20_14(fraction(7, 1000)), "0.70000000000000D-02");
  EXPECT_EQ(exactD20_14(tenToThe(120, true)), "0.10000000000000-119");
  EXPECT_EQ(exactD20_14(tenToThe(120, false)), "0.10000000000000+121");
}

TEST(ExactProbabilities, TwoByTwoWithUnitMargins) {
  std::vector<TableCells> tables;
  forEachExactTable({1, 1}, {1, 1}, [&](const TableCells& cells, const Rational& p) {
    tables.push_back(cells);
    EXPECT_TRUE(sameValue(p, fraction(1, 2)));
  });
  EXPECT_EQ(tables, (std::vector<TableCells>{{0, 1, 1, 0}, {1, 0, 0, 1}}));
}

TEST(ExactProbabilities, ThreeRowsOfTwoTwoColumnsOfThree) {
  int tables = 0;
  forEachExactTable({2, 2, 2}, {3, 3}, [&](const TableCells& cells, const Rational& p) {
    ++tables;
    const bool allOnes = std::all_of(cells.begin(), cells.end(), [](int x) { return x == 1; });
    EXPECT_TRUE(sameValue(p, allOnes ? fraction(2, 5) : fraction(1, 10)));
  });
  EXPECT_EQ(tables, 7);
  // The six tables below 0.2 by the caller's log-probability.
  const auto rule = [](const TableCells& cells) {
    double logP = 3 * std::lgamma(3.0) + 2 * std::lgamma(4.0) - std::lgamma(7.0);
    for (const int x : cells) logP -= std::lgamma(x + 1.0);
    return logP;
  };
  const auto all =
      exactAcceptedSum({2, 2, 2}, {3, 3}, rule, [](const TableCells&, double) { return true; });
  EXPECT_TRUE(sameValue(all.sum, fraction(1, 1)));
  EXPECT_EQ(all.field, "0.10000000000000D+01");
  const auto small = exactAcceptedSum(
      {2, 2, 2}, {3, 3}, rule, [](const TableCells&, double logP) { return logP < std::log(0.2); });
  EXPECT_EQ(small.tables, 7);
  EXPECT_EQ(small.accepted, 6);
  EXPECT_TRUE(sameValue(small.sum, fraction(3, 5)));
  EXPECT_EQ(small.field, "0.60000000000000D+00");
  const auto none =
      exactAcceptedSum({2, 2, 2}, {3, 3}, rule, [](const TableCells&, double) { return false; });
  EXPECT_EQ(none.field, "0.00000000000000D+00");
}

TEST(ExactProbabilities, EveryTableTogetherIsExactlyOne) {
  const std::vector<std::pair<std::vector<int>, std::vector<int>>> margins = {
      {{5}, {2, 3}},          {{3, 4}, {7}},
      {{4, 3, 2}, {3, 3, 3}}, {{10, 10, 10}, {6, 7, 8, 9}},
      {{1, 2, 3, 4}, {5, 5}}, {{20, 20, 20}, {30, 30}}};
  for (const auto& [rows, columns] : margins) {
    Rational total;
    total.numerator = BigInteger(0);
    forEachExactTable(rows, columns, [&](const TableCells&, const Rational& p) {
      total.numerator += p.numerator;
      total.denominator = p.denominator;
    });
    EXPECT_TRUE(sameValue(total, fraction(1, 1)));
  }
}

// ln P by the program's running-sum table, in one fixed order.
struct DoubleRule {
  std::vector<int> rows, columns;
  LogFactorialTable table;
  double operator()(const TableCells& cells) const {
    double logP = 0.0;
    for (const int r : rows) logP += table[r];
    for (const int c : columns) logP += table[c];
    int n = 0;
    for (const int r : rows) n += r;
    logP -= table[n];
    for (const int x : cells) logP -= table[x];
    return logP;
  }
};

// ln P to double-double precision, for the wide sum.
DoubleDouble wideLogProbability(const WideLogFactorials& lf, const std::vector<int>& rows,
                                const std::vector<int>& columns, const TableCells& cells) {
  DoubleDouble logP{0.0, 0.0};
  int n = 0;
  for (const int r : rows) {
    logP += lf[r];
    n += r;
  }
  for (const int c : columns) logP += lf[c];
  logP -= lf[n];
  for (const int x : cells) logP -= lf[x];
  return logP;
}

TEST(ExactProbabilities, WideSumsOfAcceptedTablesPrintTheExactField) {
  const std::vector<std::pair<std::vector<int>, std::vector<int>>> margins = {
      {{5, 4, 3}, {4, 4, 4}},
      {{10, 10, 10}, {10, 10, 10}},
      {{30, 15}, {9, 12, 24}},
      {{1, 1, 1, 1}, {1, 1, 1, 1}}};
  const WideLogFactorials lf(100);
  for (const auto& margin : margins) {
    const std::vector<int>& rows = margin.first;
    const std::vector<int>& columns = margin.second;
    const DoubleRule rule{rows, columns, LogFactorialTable()};
    // Cuts at the quartiles of the tables' log-probabilities, and the whole.
    std::vector<double> logs;
    forEachExactTable(rows, columns, [&](const TableCells& cells, const Rational&) {
      logs.push_back(rule(cells));
    });
    std::sort(logs.begin(), logs.end());
    for (const std::size_t q :
         {std::size_t{0}, logs.size() / 4, logs.size() / 2, logs.size() - 1}) {
      const double cut = logs[q];
      const auto accept = [cut](const TableCells&, double logP) { return logP <= cut; };
      const auto exact = exactAcceptedSum(rows, columns, rule, accept);
      WideSum wide;
      forEachExactTable(rows, columns, [&](const TableCells& cells, const Rational&) {
        if (accept(cells, rule(cells))) {
          wide.add(wideExp(wideLogProbability(lf, rows, columns, cells)));
        }
      });
      EXPECT_EQ(formatExponent(wide.value(), 20, 14, 'D'), exact.field)
          << exact.accepted << " of " << exact.tables << " tables";
    }
  }
}

}  // namespace
}  // namespace rxc
