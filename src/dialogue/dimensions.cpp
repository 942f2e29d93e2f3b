#include "dialogue/dimensions.h"

#include "engine/problem/problem.h"

namespace rxc {

namespace {

constexpr int16_t kMaxDimension = 100;
constexpr int16_t kMaxMarginal = 20000;
constexpr int32_t kMaxTotal = 20000;

enum class Side { kRow, kColumn };

// The question for marginal `index` of a row or a column, until it is in range.
int16_t askMarginal(Console& console, Side side, int index) {
  const auto number = static_cast<int16_t>(index);
  for (;;) {
    // Each label lands right-justified in its field.
    if (side == Side::kRow) {
      console.out().format("(A18,I3,A3\\)", " marginal fila", number, " = ");
    } else {
      console.out().format("(A21,I3,A3\\)", " marginal columna", number, " = ");
    }
    const int16_t value = console.in().readFieldInt16(8);
    if (value > 0 && value <= kMaxMarginal) return value;
  }
}

}  // namespace

Dimensions askDimensions(Console& console) {
  Dimensions d;
  for (;;) {
    console.out().format("(/,/,/,A34\\)", "  Introducir numero de filas (r): ");
    d.r = console.in().readFieldInt16(5);
    if (d.r >= 2 && d.r <= kMaxDimension) break;
  }
  for (;;) {
    console.out().format("(/,A37\\)", "  Introducir numero de columnas (c): ");
    d.c = console.in().readFieldInt16(5);
    if (d.c >= 2 && d.c <= kMaxDimension) break;
  }
  return d;
}

Marginals askMarginals(Console& console, const Dimensions& dimensions) {
  Marginals m;
  m.rows.assign(dimensions.r, 0);
  m.cols.assign(dimensions.c, 0);
  const std::string dimText = dimensionsText(dimensions.r, dimensions.c);
  for (;;) {
    console.blankLines(3);
    console.out().list({" Introducir marginales de la tabla ", dimText, ":"});
    console.out().list();
    int32_t n = 0;
    for (int i = 0; i < dimensions.r; ++i) {
      m.rows[i] = askMarginal(console, Side::kRow, i + 1);
      n += m.rows[i];
    }
    console.out().list();
    // The rows' total is checked before any column is asked.
    if (n > kMaxTotal) {
      console.out().list({" El total N no debe ser superior a 20000."});
      continue;
    }
    int32_t columnSum = 0;
    for (int j = 0; j < dimensions.c; ++j) {
      m.cols[j] = askMarginal(console, Side::kColumn, j + 1);
      columnSum += m.cols[j];
    }
    console.out().list();
    if (columnSum != n) {
      console.out().list({"  Algun marginal es incorrecto."});
      continue;
    }
    return m;
  }
}

}  // namespace rxc
