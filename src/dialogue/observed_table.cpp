#include "dialogue/observed_table.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "base/fast_exp.h"
#include "engine/probability.h"

namespace rxc {

namespace {

// Types the rows from `restartRow` on; returns 0 when every row passed, or the
// row to start again from after a negative value or a wrong row sum. A
// negative value in the first column of a row other than the first goes back
// to the row before; anywhere else it repeats the current row.
int enterRowsFrom(Session& session, int16_t* cells, int restartRow) {
  const RunState& state = session.state;
  const int r = state.r;
  const int c = state.c;
  for (int i = restartRow; i <= r; ++i) {
    int32_t rowSum = 0;  // at most 100 cells of 32767: no wrap in 32 bits
    session.console.format("(1X)");
    for (int j = 1; j <= c; ++j) {
      session.console.format("(A9,I2,A9,I2,A3\\)", {"    fila ", static_cast<int16_t>(i),
                                                    " columna ", static_cast<int16_t>(j), " : "});
      const int16_t value = session.input.readListInt16();
      cells[(i - 1) * c + (j - 1)] = value;
      if (value < 0) return (j == 1 && i > 1) ? i - 1 : i;
      rowSum += value;
    }
    if (rowSum != state.rowMargin[i]) {
      session.console.list({" Error. La suma de la fila no coincide con el marginal de la fila."});
      return i;
    }
  }
  return 0;
}

bool columnsMatch(const RunState& state, const int16_t* cells) {
  const int r = state.r;
  const int c = state.c;
  for (int j = 1; j <= c; ++j) {
    int32_t colSum = 0;
    for (int i = 1; i <= r; ++i) colSum += cells[(i - 1) * c + (j - 1)];
    if (colSum != state.colMargin[j]) return false;
  }
  return true;
}

// Header, rows and column check, until the table matches every marginal.
void enterMatchingTable(Session& session, int16_t* cells) {
  for (;;) {
    session.console.list();
    session.console.list();
    session.console.list();
    session.console.list({" Introducir tabla ", session.state.dimText, " observada",
                          " [Introduciendo un valor negativo se",
                          " vuelve a introducir la fila actual o la fila anterior]:"});
    for (int restartRow = 1; restartRow != 0;) {
      restartRow = enterRowsFrom(session, cells, restartRow);
    }
    if (columnsMatch(session.state, cells)) return;
    session.console.list({" Error. La suma de alguna columna no coincide con su marginal."});
  }
}

}  // namespace

void enterObservedTable(Session& session, int bound) {
  RunState& state = session.state;
  const size_t planes = 2 * static_cast<size_t>(state.r) * static_cast<size_t>(state.c);
  if (state.observedTables.size() < planes) state.observedTables.resize(planes, 0);
  int16_t* cells = state.observedTable(bound);

  enterMatchingTable(session, cells);

  const double logProb =
      observedTableLogProb(state.logFactorial, state.logMarginConst, cells, state.r, state.c);
  const double prob = fastExp(logProb);
  if (bound == 1) {
    state.logL = logProb;
    state.l = prob;
  } else {
    state.logU = logProb;
    state.u = prob;
  }

  session.console.list();
  session.console.list({" Probabilidad de la tabla ", state.dimText, " introducida =", prob});
  if (prob == 0.0) {
    session.console.list(
        {" La probabilidad de la tabla es demasiado pequeña, y se escribe como 0,"});
    session.console.list({" pero su logaritmo natural es"});
    session.console.format("(/,4X,A43,D21.14)",
                           {" log(probilidad de la tabla introducida) = ", logProb});
  }
}

}  // namespace rxc
