#include "dialogue/options_dialogue.h"

#include <cmath>
#include <string>

#include "dialogue/bounds_rule.h"
#include "dialogue/observed_table.h"
#include "dialogue/options_menu.h"

namespace rxc {

namespace {

bool isLetter(char answer, char upper) { return answer == upper || answer == upper + ('a' - 'A'); }

void blankLines(Session& session, int count) {
  for (int k = 0; k < count; ++k) session.console.list();
}

// Reads letters until the first character is A, B or C (either case).
char askResultOption(Session& session) {
  for (;;) {
    session.console.list();
    // The item is one character longer than the field: the field keeps its
    // first 40 characters, ending in one blank before the answer.
    session.console.format("(A40\\)", {"  Introducir la opcion deseada [A/B/C]:  "});
    const char answer = session.input.readLetter();
    if (isLetter(answer, 'A') || isLetter(answer, 'B') || isLetter(answer, 'C')) return answer;
  }
}

// Option A: modal tables (1), minimum-probability tables (2) or both (3).
void askExtremeOption(Session& session) {
  RunState& state = session.state;
  const std::string& dim = state.dimText;
  blankLines(session, 4);
  state.runMode = 5;
  session.console.list({" Para las tablas de max. prob. y de min. prob., introducir una opcion:"});
  session.console.list();
  session.console.list(
      {" 1. Solo las tablas ", dim, " de maxima probabilidad [moda de la distribucion]."});
  session.console.list();
  session.console.list({" 2. Solo las tablas ", dim, " de minima probabilidad."});
  session.console.list();
  session.console.list({" 3. Ambas, las tablas ", dim, " de maxima probabilidad y las tablas ", dim,
                        " de", "    minima probabilidad."});
  do {
    session.console.format("(/,/,A18\\)", {"  Opcion [1/2/3]: "});
    state.extremeOption = session.input.readFieldInt16(3);
  } while (state.extremeOption < 1 || state.extremeOption > 3);
}

// A bound typed as a number: re-asked until it lies in 0..1 (a NaN never does).
double askBoundValue(Session& session, int bound) {
  const char* prompt = bound == 1 ? "  Introducir valor de L: " : "  Introducir valor de U: ";
  for (;;) {
    session.console.format("(A25\\)", {prompt});
    const double value = session.input.readListReal();
    if (value >= 0.0 && value <= 1.0) return value;
  }
}

// Bound 1 (L) or 2 (U): an observed table or a typed number.
void askBound(Session& session, int bound) {
  RunState& state = session.state;
  blankLines(session, 2);
  double& entry = bound == 1 ? state.lEntry : state.uEntry;
  entry = 9.0;
  const std::string pattern = "(A28,A" + std::to_string(state.dimText.size()) + ",A42\\)";
  const char* question = bound == 1 ? " observada en lugar de un valor L? [Y/N]: "
                                    : " observada en lugar de un valor U? [Y/N]: ";
  for (;;) {
    session.console.format(pattern, {" Desea introducir una tabla ", state.dimText, question});
    const char answer = session.input.readLetter();
    if (isLetter(answer, 'Y')) {
      state.tableEntered[bound] = true;
      enterObservedTable(session, bound);
      return;
    }
    if (isLetter(answer, 'N')) {
      state.tableEntered[bound] = false;
      entry = askBoundValue(session, bound);
      double& value = bound == 1 ? state.l : state.u;
      double& logValue = bound == 1 ? state.logL : state.logU;
      value = entry;
      if (entry > 0.0) logValue = std::log(entry);
      return;
    }
  }
}

void writeBoundsError(Session& session) {
  const bool optionC = session.state.runMode == 3;
  session.console.list();
  session.console.list(
      {" Error.  L [o la probabilidad de la correspondiente tabla introducida]",
       optionC ? " debe ser menor o igual que U [o que la probabilidad de la correspondiente"
               : " debe ser menor que U [o que la probabilidad de la correspondiente",
       " tabla introducida].  Volver a introducir L, U, o tablas observadas."});
  session.console.list();
}

// After the message that no table meets the condition: true to enter the
// bounds again, false to go on with nothing to gather.
bool askReenterBounds(Session& session) {
  session.console.list(
      {" Ninguna tabla ", session.state.dimText, " cumple la condicion introducida."});
  session.console.list();
  for (;;) {
    session.console.format("(A62\\)",
                           {"  Desea volver a introducir L, U, o tablas observadas? [Y/N]: "});
    const char answer = session.input.readLetter();
    blankLines(session, 2);
    if (isLetter(answer, 'Y')) return true;
    if (isLetter(answer, 'N')) return false;
  }
}

int32_t askTableCount(Session& session, const char* prompt) {
  for (;;) {
    session.console.format("(A10\\)", {prompt});
    const int32_t value = session.input.readListInt32();
    if (value >= 0) return value;
  }
}

// Options B and C: both bounds, their consistency, then T1 and T2.
void askBoundsAndCounts(Session& session) {
  RunState& state = session.state;
  for (;;) {
    askBound(session, 1);
    askBound(session, 2);
    if (!boundsConsistent(state.runMode, state.lEntry, state.uEntry, state.logL, state.logU)) {
      writeBoundsError(session);
      continue;
    }
    blankLines(session, 3);
    if (!conditionIsEmpty(state.lEntry, state.uEntry)) break;
    if (!askReenterBounds(session)) {
      state.runMode = 4;
      state.t1 = 0;
      state.t2 = 0;
      return;
    }
  }
  session.console.list({" Introducir valores T1 y T2 [T1>=0  y  T2>=0]:"});
  state.t1 = askTableCount(session, "      T1= ");
  state.t2 = askTableCount(session, "      T2= ");
}

}  // namespace

void runOptionsDialogue(Session& session) {
  RunState& state = session.state;
  writeOptionsMenu(session.console, state.dimText);
  state.resultOption = askResultOption(session);
  if (isLetter(state.resultOption, 'A')) {
    askExtremeOption(session);
    return;
  }
  state.runMode = isLetter(state.resultOption, 'B') ? 2 : 3;
  askBoundsAndCounts(session);
}

}  // namespace rxc
