#include "support/exact_probabilities.h"

#include <algorithm>
#include <numeric>
#include <stdexcept>

namespace rxc::testing {
namespace {

class ExactEnumeration {
 public:
  ExactEnumeration(const std::vector<int>& rows, const std::vector<int>& columns,
                   const std::function<void(const TableCells&, const Rational&)>& visit)
      : rows_(rows), left_(columns), cells_(rows.size() * columns.size(), 0), visit_(visit) {
    const int n = std::accumulate(rows.begin(), rows.end(), 0);
    if (n != std::accumulate(columns.begin(), columns.end(), 0) || rows.empty() ||
        columns.empty()) {
      throw std::invalid_argument("exact probabilities: margins do not agree");
    }
    nFactorial_ = BigInteger::factorial(n);
    margins_ = BigInteger(1);
    for (const int r : rows) margins_ = margins_ * BigInteger::factorial(r);
    for (const int c : columns) margins_ = margins_ * BigInteger::factorial(c);
    probability_.denominator = nFactorial_ * nFactorial_;
  }

  void run() { fillRow(0, 0, rows_[0]); }

 private:
  int columns() const { return static_cast<int>(left_.size()); }

  // Cell (i, j) onward, with `rest` of row i still to place.
  void fillRow(int i, int j, int rest) {
    if (i == static_cast<int>(rows_.size()) - 1) {
      for (int k = 0; k < columns(); ++k) cells_[i * columns() + k] = left_[k];
      finish();
      return;
    }
    if (j == columns() - 1) {
      if (rest > left_[j]) return;
      cells_[i * columns() + j] = rest;
      left_[j] -= rest;
      fillRow(i + 1, 0, rows_[i + 1]);
      left_[j] += rest;
      return;
    }
    for (int x = 0; x <= std::min(rest, left_[j]); ++x) {
      cells_[i * columns() + j] = x;
      left_[j] -= x;
      fillRow(i, j + 1, rest - x);
      left_[j] += x;
    }
  }

  void finish() {
    BigInteger multinomial = nFactorial_;
    for (const int x : cells_) {
      for (int k = 2; k <= x; ++k) {
        if (multinomial.divideBy(static_cast<uint32_t>(k)) != 0) {
          throw std::logic_error("exact probabilities: N! / prod x! is not whole");
        }
      }
    }
    probability_.numerator = margins_ * multinomial;
    visit_(cells_, probability_);
  }

  std::vector<int> rows_;
  std::vector<int> left_;  // what each column still takes
  TableCells cells_;
  const std::function<void(const TableCells&, const Rational&)>& visit_;
  BigInteger nFactorial_;
  BigInteger margins_;
  Rational probability_;
};

}  // namespace

void forEachExactTable(const std::vector<int>& rows, const std::vector<int>& columns,
                       const std::function<void(const TableCells&, const Rational&)>& visit) {
  ExactEnumeration(rows, columns, visit).run();
}

ExactAcceptedSum exactAcceptedSum(const std::vector<int>& rows, const std::vector<int>& columns,
                                  const LogProbabilityRule& rule, const Acceptance& accept) {
  ExactAcceptedSum out;
  forEachExactTable(rows, columns, [&](const TableCells& cells, const Rational& p) {
    ++out.tables;
    if (!accept(cells, rule(cells))) return;
    ++out.accepted;
    out.sum.numerator += p.numerator;
    out.sum.denominator = p.denominator;  // the same for every table
  });
  if (out.accepted == 0) out.sum = Rational{};
  out.field = exactD20_14(out.sum);
  return out;
}

}  // namespace rxc::testing
