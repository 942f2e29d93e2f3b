#include "support/reference_enumeration.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "base/fatal_stop.h"

namespace rxc::testing {

ReferenceEnumeration::ReferenceEnumeration(const Problem& input)
    : r_(input.r),
      c_(input.c),
      n_(input.n),
      logFactorial_(input.logFactorial.data()),
      logMarginConst_(input.logMarginConst),
      rowMargin_(r_ + 1, 0),
      colMargin_(c_ + 1, 0),
      rowCum_(r_ + 1, 0),
      colCum_(c_ + 1, 0) {
  for (int i = 1; i <= r_; ++i) {
    rowMargin_[i] = input.rowMargin[i - 1];
    rowCum_[i] = rowCum_[i - 1] + rowMargin_[i];
  }
  for (int j = 1; j <= c_; ++j) {
    colMargin_[j] = input.colMargin[j - 1];
    colCum_[j] = colCum_[j - 1] + colMargin_[j];
  }
  const size_t size = static_cast<size_t>(r_ + 1) * static_cast<size_t>(c_ + 1);
  for (auto* a : {&cell_, &colAbove_, &rowLeft_, &blockSum_, &outsideSum_, &colRest_, &rowRest_,
                  &cellLow_, &cellHigh_}) {
    a->assign(size, 0);
  }
  logFactSum_.assign(size, 0.0);
  fillStartRow_.assign(c_ + 1, 1);
}

void ReferenceEnumeration::startPass() {
  for (int j = 0; j <= c_ - 1; ++j) {
    at(cell_, 0, j) = 0;
    at(colAbove_, 0, j) = 0;
    at(rowLeft_, 0, j) = 0;
    at(blockSum_, 0, j) = 0;
  }
  for (int i = 0; i <= r_ - 1; ++i) {
    at(cell_, i, 0) = 0;
    at(colAbove_, i, 0) = 0;
    at(rowLeft_, i, 0) = 0;
    at(blockSum_, i, 0) = 0;
  }
  lfs(0, 1) = 0.0;
  fillStartCol_ = 1;
  for (int j = 1; j <= c_ - 1; ++j) fillStartRow_[j] = 1;
  fill();
}

void ReferenceEnumeration::fill() {
  for (int j = fillStartCol_; j <= c_ - 1; ++j) {
    for (int i = fillStartRow_[j]; i <= r_ - 1; ++i) {
      at(colAbove_, i, j) = static_cast<int16_t>(at(cell_, i - 1, j) + at(colAbove_, i - 1, j));
      at(rowLeft_, i, j) = static_cast<int16_t>(at(cell_, i, j - 1) + at(rowLeft_, i, j - 1));
      at(colRest_, i, j) = static_cast<int16_t>(colMargin_[j] - at(colAbove_, i, j));
      at(rowRest_, i, j) = static_cast<int16_t>(rowMargin_[i] - at(rowLeft_, i, j));
      at(blockSum_, i, j) =
          static_cast<int16_t>(at(blockSum_, i - 1, j - 1) + at(rowLeft_, i - 1, j) +
                               at(colAbove_, i, j - 1) - at(cell_, i - 1, j - 1));
      // RowCum + ColCum can pass the 2-byte range although the difference fits.
      at(outsideSum_, i, j) =
          static_cast<int16_t>(rowCum_[i - 1] + colCum_[j - 1] - int32_t{at(blockSum_, i, j)});
      // The three-term sum reaches 2N, so it is formed in 4-byte arithmetic.
      const int32_t low = int32_t{at(colRest_, i, j)} + int32_t{at(outsideSum_, i, j)} +
                          int32_t{at(rowRest_, i, j)} - n_;
      at(cellLow_, i, j) = static_cast<int16_t>(std::max<int32_t>(0, low));
      at(cellHigh_, i, j) = std::min(at(colRest_, i, j), at(rowRest_, i, j));
      at(cell_, i, j) = at(cellLow_, i, j);
      lfs(i, j) = lfs(i - 1, j) + logFactorial_[at(cell_, i, j)];
      if (i == r_ - 1 && j < c_ - 1) lfs(0, j + 1) = lfs(r_ - 1, j);
    }
  }
  fillStartRow_[fillStartCol_] = 1;
}

double ReferenceEnumeration::deriveAndEvaluate() {
  double s = lfs(r_ - 1, c_ - 1);
  int32_t lastRowSum = 0;
  int32_t lastColSum = 0;
  for (int j = 1; j <= c_ - 1; ++j) {
    const int16_t x =
        static_cast<int16_t>(colMargin_[j] - at(cell_, r_ - 1, j) - at(colAbove_, r_ - 1, j));
    at(cell_, r_, j) = x;
    lastRowSum += x;
    if (x >= 2) s = s + logFactorial_[x];
  }
  for (int i = 1; i <= r_ - 1; ++i) {
    const int16_t x =
        static_cast<int16_t>(rowMargin_[i] - at(cell_, i, c_ - 1) - at(rowLeft_, i, c_ - 1));
    at(cell_, i, c_) = x;
    lastColSum += x;
    if (x >= 2) s = s + logFactorial_[x];
  }
  const int32_t corner = rowMargin_[r_] - lastRowSum;
  at(cell_, r_, c_) = static_cast<int16_t>(corner);
  // The corner is checked before it is looked up: with margins that disagree
  // it may be negative, and ln(corner!) must not be read then.
  if (colMargin_[c_] - lastColSum != corner)
    stopRun(" Error ultimo elemento. Contactar con el autor");
  s = s + logFactorial_[corner];
  return logMarginConst_ - s;
}

bool ReferenceEnumeration::nextTable() {
  int i = r_ - 1;
  int j = c_ - 1;
  ++at(cell_, i, j);
  if (at(cell_, i, j) <= at(cellHigh_, i, j)) {
    lfs(i, j) = lfs(i - 1, j) + logFactorial_[at(cell_, i, j)];
    return true;
  }
  for (;;) {
    i = i - 1;
    if (i == 0) {
      i = r_ - 1;
      j = j - 1;
    }
    if (j == 0) return false;
    ++at(cell_, i, j);
    if (at(cell_, i, j) <= at(cellHigh_, i, j)) break;
  }
  lfs(i, j) = lfs(i - 1, j) + logFactorial_[at(cell_, i, j)];
  int startRow;
  if (i == r_ - 1) {
    lfs(0, j + 1) = lfs(i, j);
    fillStartCol_ = j + 1;
    startRow = 1;
  } else {
    fillStartCol_ = j;
    startRow = i + 1;
  }
  fillStartRow_[fillStartCol_] = static_cast<int16_t>(startRow);
  fill();
  return true;
}

void ReferenceEnumeration::copyTo(int16_t* cells) const {
  for (int i = 1; i <= r_; ++i) {
    for (int j = 1; j <= c_; ++j) *cells++ = at(cell_, i, j);
  }
}

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

std::vector<int16_t> interiorCells(const std::vector<int16_t>& table, int r, int c) {
  std::vector<int16_t> seq;
  for (int j = 0; j + 1 < c; ++j) {
    for (int i = 0; i + 1 < r; ++i) seq.push_back(table[i * c + j]);
  }
  return seq;
}

void randomMargins(std::mt19937& random, int r, int c, int maxCell, std::vector<int16_t>& rows,
                   std::vector<int16_t>& cols) {
  rows.assign(r, 0);
  cols.assign(c, 0);
  for (int i = 0; i < r; ++i) {
    for (int j = 0; j < c; ++j) {
      const auto x = static_cast<int16_t>(random() % (maxCell + 1));
      rows[i] += x;
      cols[j] += x;
    }
  }
  for (int i = 0; i < r; ++i) {
    if (rows[i] == 0) ++rows[i], ++cols[random() % c];
  }
  for (int j = 0; j < c; ++j) {
    if (cols[j] == 0) ++cols[j], ++rows[random() % r];
  }
}

}  // namespace rxc::testing
