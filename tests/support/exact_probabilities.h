// Exact probabilities of small tables, as rationals, to check sums of
// probabilities against: every table with the given margins is enumerated by
// a plain recursion (row by row, each row's cells left to right, the last row
// what the columns leave), and its probability under the multivariate
// hypergeometric law,
//   P(x) = (prod r_i! prod c_j!) / (N! prod x_ij!),
// is kept as the integer (prod r_i! prod c_j!) (N! / prod x_ij!) over the
// common denominator (N!)^2, so that sums need no reduction. Meant for N up
// to about 60 and a few thousand tables.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/big_integer.h"

namespace rxc::testing {

// The table's cells, r x c row-major.
using TableCells = std::vector<int>;

// Visits every table with its exact probability, in the recursion's order.
void forEachExactTable(const std::vector<int>& rows, const std::vector<int>& columns,
                       const std::function<void(const TableCells&, const Rational&)>& visit);

// The log-probability of a table as the caller computes it (in doubles, by
// the rule whose acceptance is being checked).
using LogProbabilityRule = std::function<double(const TableCells&)>;
// Whether a table counts, given its cells and that log-probability.
using Acceptance = std::function<bool(const TableCells&, double logProbability)>;

struct ExactAcceptedSum {
  Rational sum;       // exact sum of the accepted tables' probabilities
  std::string field;  // its D20.14 field, rounded once (exactD20_14)
  int64_t tables = 0;
  int64_t accepted = 0;
};

ExactAcceptedSum exactAcceptedSum(const std::vector<int>& rows, const std::vector<int>& columns,
                                  const LogProbabilityRule& rule, const Acceptance& accept);

}  // namespace rxc::testing
