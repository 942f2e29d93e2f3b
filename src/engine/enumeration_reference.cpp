#include "engine/enumeration_reference.h"

#include <algorithm>

#include "base/fatal_stop.h"

namespace rxc {

ReferenceEnumeration::ReferenceEnumeration(const EnumerationInput& input)
    : r_(input.r),
      c_(input.c),
      n_(input.n),
      logFactorial_(input.logFactorial),
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
      at(blockSum_, i, j) = static_cast<int16_t>(at(blockSum_, i - 1, j - 1) + at(rowLeft_, i - 1, j) +
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
    const int16_t x = static_cast<int16_t>(colMargin_[j] - at(cell_, r_ - 1, j) - at(colAbove_, r_ - 1, j));
    at(cell_, r_, j) = x;
    lastRowSum += x;
    if (x >= 2) s = s + logFactorial_[x];
  }
  for (int i = 1; i <= r_ - 1; ++i) {
    const int16_t x = static_cast<int16_t>(rowMargin_[i] - at(cell_, i, c_ - 1) - at(rowLeft_, i, c_ - 1));
    at(cell_, i, c_) = x;
    lastColSum += x;
    if (x >= 2) s = s + logFactorial_[x];
  }
  const int32_t corner = rowMargin_[r_] - lastRowSum;
  at(cell_, r_, c_) = static_cast<int16_t>(corner);
  // The corner is checked before it is looked up: with margins that disagree
  // it may be negative, and ln(corner!) must not be read then.
  if (colMargin_[c_] - lastColSum != corner) stopRun(" Error ultimo elemento. Contactar con el autor");
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

}  // namespace rxc
