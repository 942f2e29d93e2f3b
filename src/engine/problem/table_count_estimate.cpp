#include "engine/problem/table_count_estimate.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace rxc {

float approximateTableCount(const Problem& problem) {
  // The margins of the longer side are the a_i, those of the shorter side the
  // b_j; the rows are the longer side when r = c.
  const bool rowsLonger = problem.r >= problem.c;
  std::vector<int32_t> longMargins{0}, shortMargins{0};  // 1-based
  for (int16_t v : rowsLonger ? problem.rowMargin : problem.colMargin) longMargins.push_back(v);
  for (int16_t v : rowsLonger ? problem.colMargin : problem.rowMargin) shortMargins.push_back(v);
  const LogFactorialTable& logFactorial = problem.logFactorial;
  const int32_t n = problem.n;
  const int32_t m = static_cast<int32_t>(shortMargins.size()) - 1;
  const size_t longCount = longMargins.size() - 1;
  // ln of the product of the binomial coefficients C(a + m - 1, m - 1).
  double s1 = 0.0;
  for (size_t i = 1; i <= longCount; ++i) {
    const int32_t a = longMargins[i];
    s1 += logFactorial[a + m - 1] - logFactorial[m - 1] - logFactorial[a];
  }
  const double p = std::exp(s1);
  double s2 = 0.0;
  for (size_t i = 1; i <= longCount; ++i) {
    const int32_t a = longMargins[i];
    s2 += static_cast<int32_t>(a * (a + m));
  }
  const double v = (m - 1) * s2 / static_cast<int32_t>(m * m * (m + 1));
  double squares = 0.0;
  for (int32_t j = 1; j <= m; ++j)
    squares += static_cast<int32_t>(shortMargins[j] * shortMargins[j]);
  const double d = squares - static_cast<int32_t>(n * n) / static_cast<double>(m);
  const double s = (m - 1) * d / (m * v);
  // The 4-byte value of pi, as the estimate has always used it.
  const double pi = static_cast<double>(static_cast<float>(3.14159265358979323846));
  const double b = (m - 1) / (m * (2 * pi * v));
  const double exponent = (m - 1) / 2.0;
  const double r = std::pow(b, exponent) * (std::sqrt(static_cast<double>(m)) * std::exp(-s / 2));
  const double product = p * r;
  if (std::isfinite(p) && r > 0.0 && std::isfinite(product)) {
    return static_cast<float>(product);
  }
  // Many rows and columns with a large N: P overflows while the other factor
  // underflows, and infinity times zero would be NaN. The same product in
  // logarithms decides which side of the 4-byte range the estimate lies on.
  const double logR = exponent * std::log(b) + 0.5 * std::log(static_cast<double>(m)) - s / 2;
  const double logProduct = s1 + logR;
  if (std::isnan(logProduct) || logProduct > std::log(std::numeric_limits<float>::max())) {
    return std::numeric_limits<float>::infinity();
  }
  return static_cast<float>(std::exp(logProduct));
}

}  // namespace rxc
