#include "dialogue/observed_table.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "base/fast_exp.h"

namespace rxc {

namespace {

// Types the rows from `restartRow` on; returns 0 when every row passed, or the
// row to start again from after a negative value or a wrong row sum. A
// negative value in the first column of a row other than the first goes back
// to the row before; anywhere else it repeats the current row.
int enterRowsFrom(Console& console, const Problem& problem, int16_t* cells, int restartRow) {
  const int r = problem.r;
  const int c = problem.c;
  for (int i = restartRow; i <= r; ++i) {
    int32_t rowSum = 0;  // at most 100 cells of 32767: no wrap in 32 bits
    console.out().format("(1X)");
    for (int j = 1; j <= c; ++j) {
      console.out().format("(A9,I2,A9,I2,A3\\)", "    fila ", static_cast<int16_t>(i), " columna ",
                           static_cast<int16_t>(j), " : ");
      // A null value keeps the cell's earlier value (0 the first time).
      int16_t& cell = cells[(i - 1) * c + (j - 1)];
      cell = console.in().readListInt16(cell);
      const int16_t value = cell;
      if (value < 0) return (j == 1 && i > 1) ? i - 1 : i;
      rowSum += value;
    }
    if (rowSum != problem.rowMargin[i - 1]) {
      console.out().list({" Error. La suma de la fila no coincide con el marginal de la fila."});
      return i;
    }
  }
  return 0;
}

bool columnsMatch(const Problem& problem, const int16_t* cells) {
  const int r = problem.r;
  const int c = problem.c;
  for (int j = 1; j <= c; ++j) {
    int32_t colSum = 0;
    for (int i = 1; i <= r; ++i) colSum += cells[(i - 1) * c + (j - 1)];
    if (colSum != problem.colMargin[j - 1]) return false;
  }
  return true;
}

// Header, rows and column check, until the table matches every marginal.
void enterMatchingTable(Console& console, const Problem& problem, int16_t* cells) {
  for (;;) {
    console.blankLines(3);
    console.out().list({" Introducir tabla ", problem.dimText, " observada",
                        " [Introduciendo un valor negativo se",
                        " vuelve a introducir la fila actual o la fila anterior]:"});
    for (int restartRow = 1; restartRow != 0;) {
      restartRow = enterRowsFrom(console, problem, cells, restartRow);
    }
    if (columnsMatch(problem, cells)) return;
    console.out().list({" Error. La suma de alguna columna no coincide con su marginal."});
  }
}

}  // namespace

Bound enterObservedTable(Console& console, const Problem& problem, std::vector<int16_t>& cells) {
  cells.resize(static_cast<size_t>(problem.r) * static_cast<size_t>(problem.c), 0);
  enterMatchingTable(console, problem, cells.data());

  Bound bound;
  bound.source = Bound::Source::kObservedTable;
  const double logProb = observedTableLogProb(problem, cells.data());
  bound.logValue = logProb;
  bound.value = fastExp(logProb);
  bound.observedTable = cells;

  console.out().list();
  console.out().list(
      {" Probabilidad de la tabla ", problem.dimText, " introducida =", bound.value});
  if (bound.value == 0.0) {
    console.out().list({" La probabilidad de la tabla es demasiado pequeña, y se escribe como 0,"});
    console.out().list({" pero su logaritmo natural es"});
    console.out().format("(/,4X,A43,D21.14)",
                         " log(probilidad de la tabla introducida) = ", logProb);
  }
  return bound;
}

}  // namespace rxc
