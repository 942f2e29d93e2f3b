#include "dialogue/options_dialogue.h"

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "dialogue/bounds_rule.h"
#include "dialogue/observed_table.h"
#include "dialogue/options_menu.h"

namespace rxc {

namespace {

bool isLetter(char answer, char upper) { return answer == upper || answer == upper + ('a' - 'A'); }

// Reads letters until the first character is A, B or C (either case).
char askResultOption(Console& console) {
  for (;;) {
    console.out().list();
    // The item is one character longer than the field: the field keeps its
    // first 40 characters, ending in one blank before the answer.
    console.out().format("(A40\\)", "  Introducir la opcion deseada [A/B/C]:  ");
    const char answer = console.in().readLetter();
    if (isLetter(answer, 'A') || isLetter(answer, 'B') || isLetter(answer, 'C')) return answer;
  }
}

// Option A: modal tables (1), minimum-probability tables (2) or both (3).
OptionARequest askExtremeOption(Console& console, const std::string& dim) {
  console.blankLines(4);
  RecordWriter& out = console.out();
  out.list({" Para las tablas de max. prob. y de min. prob., introducir una opcion:"});
  out.list();
  out.list({" 1. Solo las tablas ", dim, " de maxima probabilidad [moda de la distribucion]."});
  out.list();
  out.list({" 2. Solo las tablas ", dim, " de minima probabilidad."});
  out.list();
  out.list({" 3. Ambas, las tablas ", dim, " de maxima probabilidad y las tablas ", dim, " de",
            "    minima probabilidad."});
  int16_t extremeOption = 0;
  do {
    out.format("(/,/,A18\\)", "  Opcion [1/2/3]: ");
    extremeOption = console.in().readFieldInt16(3);
  } while (extremeOption < 1 || extremeOption > 3);
  return {static_cast<ExtremeOption>(extremeOption)};
}

// A bound typed as a number: re-asked until it lies in 0..1 (a NaN never does).
// The entry starts at 9.0, so a null value keeps it out of range; a number too
// small for an 8-byte real leaves it as it was, and is asked again too.
double askBoundValue(Console& console, char name) {
  double entry = 9.0;
  for (;;) {
    if (name == 'L') {
      console.out().format("(A25\\)", "  Introducir valor de L: ");
    } else {
      console.out().format("(A25\\)", "  Introducir valor de U: ");
    }
    const std::optional<double> read = console.in().readListReal(entry);
    if (!read) continue;
    entry = *read;
    if (entry >= 0.0 && entry <= 1.0) return entry;
  }
}

// Bound L or U: an observed table (kept in `observed`, the bound's plane of
// ObservedTables) or a typed number.
Bound askBound(Console& console, const Problem& problem, char name,
               std::vector<int16_t>& observed) {
  console.blankLines(2);
  const char* question = name == 'L' ? " observada en lugar de un valor L? [Y/N]: "
                                     : " observada en lugar de un valor U? [Y/N]: ";
  for (;;) {
    console.out().format("(A28,A,A42\\)", " Desea introducir una tabla ", problem.dimText,
                         question);
    const char answer = console.in().readLetter();
    if (isLetter(answer, 'Y')) return enterObservedTable(console, problem, observed);
    if (isLetter(answer, 'N')) {
      Bound bound;
      bound.value = askBoundValue(console, name);
      if (bound.value > 0.0) bound.logValue = std::log(bound.value);
      return bound;
    }
  }
}

void writeBoundsError(Console& console, bool inclusive) {
  console.out().list();
  console.out().list(
      {" Error.  L [o la probabilidad de la correspondiente tabla introducida]",
       inclusive ? " debe ser menor o igual que U [o que la probabilidad de la correspondiente"
                 : " debe ser menor que U [o que la probabilidad de la correspondiente",
       " tabla introducida].  Volver a introducir L, U, o tablas observadas."});
  console.out().list();
}

// After the message that no table meets the condition: true to enter the
// bounds again, false to go on with nothing to gather.
bool askReenterBounds(Console& console, const std::string& dim) {
  console.out().list({" Ninguna tabla ", dim, " cumple la condicion introducida."});
  console.out().list();
  for (;;) {
    console.out().format("(A62\\)",
                         "  Desea volver a introducir L, U, o tablas observadas? [Y/N]: ");
    const char answer = console.in().readLetter();
    console.blankLines(2);
    if (isLetter(answer, 'Y')) return true;
    if (isLetter(answer, 'N')) return false;
  }
}

// T1 or T2 from its current value (0 before the question), which a null
// answer keeps.
int32_t askTableCount(Console& console, bool first, int32_t value) {
  for (;;) {
    if (first) {
      console.out().format("(A10\\)", "      T1= ");
    } else {
      console.out().format("(A10\\)", "      T2= ");
    }
    value = console.in().readListInt32(value);
    if (value >= 0) return value;
  }
}

// Options B and C: both bounds, their consistency, then T1 and T2.
ConditionRequest askBoundsAndCounts(Console& console, const Problem& problem, bool inclusive) {
  ConditionRequest request;
  request.inclusive = inclusive;
  // ObservedTables: each bound's last table stays for its next entry.
  std::vector<int16_t> observedL, observedU;
  for (;;) {
    request.lower = askBound(console, problem, 'L', observedL);
    request.upper = askBound(console, problem, 'U', observedU);
    if (!boundsConsistent(inclusive, request.lower, request.upper)) {
      writeBoundsError(console, inclusive);
      continue;
    }
    console.blankLines(3);
    if (!conditionIsEmpty(request.lower, request.upper)) break;
    if (!askReenterBounds(console, problem.dimText)) {
      request.nothingCanMeet = true;  // T1 = T2 = 0
      return request;
    }
  }
  console.out().list({" Introducir valores T1 y T2 [T1>=0  y  T2>=0]:"});
  request.t1 = askTableCount(console, true, request.t1);
  request.t2 = askTableCount(console, false, request.t2);
  return request;
}

}  // namespace

Request runOptionsDialogue(Console& console, const Problem& problem) {
  writeOptionsMenu(console.out(), problem.dimText);
  const char option = askResultOption(console);
  if (isLetter(option, 'A')) return askExtremeOption(console, problem.dimText);
  return askBoundsAndCounts(console, problem, /*inclusive=*/isLetter(option, 'C'));
}

}  // namespace rxc
