#include "support/brute_force.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace rxc::testing {

std::vector<GeneratedTable> everyTable(const std::vector<int16_t>& rows,
                                       const std::vector<int16_t>& cols) {
  const int r = static_cast<int>(rows.size());
  const int c = static_cast<int>(cols.size());
  int n = 0;
  for (int v : rows) n += v;
  std::vector<double> lf{0.0};
  for (int k = 1; k <= n; ++k) lf.push_back(std::log(static_cast<double>(k)) + lf.back());
  double constant = 0.0;
  for (int v : rows) constant += lf[v];
  for (int v : cols) constant += lf[v];
  constant -= lf[n];

  std::vector<GeneratedTable> out;
  std::vector<int> x((r - 1) * (c - 1), 0);
  auto emit = [&] {
    std::vector<int> t(r * c, 0);
    for (int j = 0; j + 1 < c; ++j) {
      for (int i = 0; i + 1 < r; ++i) t[i * c + j] = x[j * (r - 1) + i];
    }
    for (int j = 0; j + 1 < c; ++j) {
      int above = 0;
      for (int i = 0; i + 1 < r; ++i) above += t[i * c + j];
      t[(r - 1) * c + j] = cols[j] - above;
    }
    int lastColumn = 0;
    for (int i = 0; i < r; ++i) {
      int left = 0;
      for (int j = 0; j + 1 < c; ++j) left += t[i * c + j];
      t[i * c + c - 1] = rows[i] - left;
      lastColumn += t[i * c + c - 1];
    }
    if (lastColumn != cols[c - 1] || std::any_of(t.begin(), t.end(), [](int v) { return v < 0; }))
      return;
    double s = 0.0;
    for (int j = 0; j + 1 < c; ++j) {
      for (int i = 0; i + 1 < r; ++i) s += lf[t[i * c + j]];
    }
    for (int j = 0; j + 1 < c; ++j) {
      if (t[(r - 1) * c + j] >= 2) s += lf[t[(r - 1) * c + j]];
    }
    for (int i = 0; i + 1 < r; ++i) {
      if (t[i * c + c - 1] >= 2) s += lf[t[i * c + c - 1]];
    }
    s += lf[t[r * c - 1]];
    out.push_back({std::vector<int16_t>(t.begin(), t.end()), constant - s});
  };
  // Odometer over every interior assignment within 0..min(row, column).
  for (;;) {
    emit();
    int q = static_cast<int>(x.size()) - 1;
    while (q >= 0) {
      const int i = q % (r - 1), j = q / (r - 1);
      if (x[q] < std::min(rows[i], cols[j])) {
        ++x[q];
        break;
      }
      x[q] = 0;
      --q;
    }
    if (q < 0) break;
  }
  return out;
}

std::vector<int16_t> randomComposition(std::mt19937& random, int total, int parts) {
  std::vector<int> cuts(static_cast<size_t>(total - 1));
  std::iota(cuts.begin(), cuts.end(), 1);
  std::shuffle(cuts.begin(), cuts.end(), random);
  cuts.resize(static_cast<size_t>(parts - 1));
  std::sort(cuts.begin(), cuts.end());
  cuts.push_back(total);
  std::vector<int16_t> values;
  int previous = 0;
  for (int cut : cuts) {
    values.push_back(static_cast<int16_t>(cut - previous));
    previous = cut;
  }
  return values;
}

}  // namespace rxc::testing
