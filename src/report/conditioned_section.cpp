#include "report/conditioned_section.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "records/count_form.h"
#include "records/field_widths.h"
#include "records/number_format.h"
#include "report/arrows.h"

namespace rxc {

namespace {

constexpr std::string_view kGeText = "MAYOR O IGUAL ";
constexpr std::string_view kLeText = "MENOR O IGUAL ";

// ConditionCount, leaving the record open: up to 2e9 with exactly one blank
// before its digits; above that as an 8-byte real in "(D16.10)", with no blank
// before it, as the report writes every count of tables that large.
void writeConditionCount(RecordWriter& report, int64_t count) {
  if (static_cast<double>(count) > kLargestIntegerCount) {
    report.format("(D16.10\\)", static_cast<double>(count));
  } else {
    report.format("(I\\)", SizedInt{count, decimalDigits(count) + 1});
  }
}

// T1 or T2 in the note on what is listed: the same, in at most 10 columns.
SizedInt listedCountField(int32_t t) {
  const int width = decimalDigits(t) + 1;
  return {t, width < 10 ? width : 10};
}

// One bound of the heading: "   MAYOR QUE " or " y MENOR QUE " (with "O IGUAL"
// under option C), then the typed value, or the observed table.
void writeBound(RecordWriter& report, const ConditionedView& view, const Bound& bound, bool lower) {
  const std::string_view word =
      (lower ? kGeText : kLeText).substr(0, view.request.inclusive ? 13 : 5);
  const char* before = lower ? "   " : " y ";
  if (view.request.inclusive) {
    report.format("(A3,A13,A5\\)", before, word, " QUE ");
  } else {
    report.format("(A3,A5,A5\\)", before, word, " QUE ");
  }
  if (!bound.tableEntered()) {
    if (lower) {
      report.format("(D16.10)", bound.value);
    } else {
      report.format("(D16.10,A1)", bound.value, ":");
    }
    return;
  }
  report.format("(A27)", "la probabilidad de la tabla");
  report.list();
  writeIndentedRows(report, view.layout, bound.observedTable.data());
  if (lower) report.list();
}

void writeHeading(RecordWriter& report, const ConditionedView& view) {
  for (int k = 0; k < 3; ++k) report.list();
  report.format("(A8,A,A38)", " TABLAS ", view.problem.dimText,
                " DE LA DISTRIBUCIÓN, con probabilidad ");
  writeBound(report, view, view.request.lower, /*lower=*/true);
  writeBound(report, view, view.request.upper, /*lower=*/false);
  report.list();
}

// The sum in its field D20.14, rounded once from the exact probability of the
// accepted tables (held to far more digits than the field shows); a sum that
// underflowed a double is written as the double, 0.
std::string sumField(const ConditionOutcome& o) {
  if (o.sum == 0.0 || isZero(o.exactSum)) return formatExponent(o.sum, 20, 14, 'D');
  return formatExponent(o.exactSum, 20, 14, 'D');
}

void writeCountAndSum(RecordWriter& report, const ConditionedView& view) {
  const ConditionOutcome& o = view.outcome;
  report.list();
  report.format("(A25,A,A42\\)", " [Número total de tablas ", view.problem.dimText,
                " resultantes (que cumplen esa condición) =");
  writeConditionCount(report, o.count);
  report.format("(A2)", "].");
  report.list();
  report.format("(A35\\)", " [Suma de las probabilidades de las");
  writeConditionCount(report, o.count);
  report.format("(A8,A,A15,A20,A2)", " tablas ", view.problem.dimText,
                " resultantes = ", sumField(o), "].");
}

// The sum as a p-value, or, when it underflowed, its description through the
// count and the largest log-probability: exact when the maximum was raised
// once (every accepted table shares it), an upper bound otherwise. The sum is
// the exact probability of the accepted tables rounded to a double, so it is
// zero only when that probability is below half the least subnormal.
void writeSumNotes(RecordWriter& report, const ConditionedView& view) {
  const ConditionOutcome& o = view.outcome;
  const bool fisher = view.request.isFisherTest();
  if (o.sum > 0.0) {
    report.list();
    if (fisher) {
      report.format("(A17)", " [Test de Fisher:");
      report.format("(A46,A20,A2)", "  p-Value de la tabla observada introducida = ", sumField(o),
                    "].");
      report.list();
    }
    return;
  }
  const bool exact = o.maxRaises == 1;
  auto writeBoundBySum = [&] {
    writeConditionCount(report, o.count);
    report.format("(A4,E16.10,A3)", "exp(", o.maxLog, ")].");
  };
  report.list({"[La suma de las probabilidades es demasiado pequeña, y se escribe como 0."});
  report.format("(A13\\)", "  Dicha suma ");
  if (exact) {
    report.format("(A10\\)", "es igual a");
  } else {
    report.format("(A12\\)", "es menor que");
  }
  writeBoundBySum();
  report.list();
  if (fisher) {
    report.format("(A17)", " [Test de Fisher:");
    report.format("(A44\\)", "  p-Value de la tabla observada introducida ");
    report.format("(A1\\)", exact ? "=" : "<");
    writeBoundBySum();
    report.list();
  }
}

// The note on which tables are listed, when not all of them are. Returns false
// when none is listed (the section ends).
bool writeListedNote(RecordWriter& report, const ConditionedView& view) {
  const int32_t t1 = view.request.t1;
  const int32_t t2 = view.request.t2;
  if (t1 == 0 && t2 == 0) {
    report.list({"No se escribe ninguna tabla."});
    return false;
  }
  report.format("(A7\\)", " De las");
  writeConditionCount(report, view.outcome.count);
  if (t2 == 0) {
    report.format("(A66\\)", " tablas, sólo se escriben las T1 tablas de mayor probabilidad (T1=");
    report.format("(I\\)", listedCountField(t1));
    report.format("(A2)", ").");
  } else if (t1 == 0) {
    report.format("(A66\\)", " tablas, sólo se escriben las T2 tablas de menor probabilidad (T2=");
    report.format("(I\\)", listedCountField(t2));
    report.format("(A2)", ").");
  } else {
    report.format("(A61)", " tablas, sólo se escriben las T1 tablas de mayor probabilidad");
    report.format("(A44\\)", " y las T2 tablas de menor probabilidad (T1 =");
    report.format("(I\\)", listedCountField(t1));
    report.format("(A7\\)", ",  T2 =");
    report.format("(I\\)", listedCountField(t2));
    report.format("(A2,/,A62)", "),",
                  " con varias lineas de separación entre ambos grupos de tablas.");
  }
  return true;
}

void writeSeparator(RecordWriter& report) {
  report.list();
  report.list();
  for (int k = 0; k < 3; ++k) {
    report.list({" ", kArrows, kArrows, kArrows});
    report.list();
  }
  report.list();
}

void writeListing(RecordWriter& report, const ConditionedView& view, bool allListed) {
  const int32_t t1 = view.request.t1;
  const int32_t t2 = view.request.t2;
  constexpr bool kShowLog = true;

  if (t1 > 0) {
    report.list();
    for (const ListedTable& table : view.kept.high()) {
      writeTableBlock(report, view.layout, table.cells, table.probability, table.logProb, kShowLog);
    }
  }
  const bool lowGroup = t2 > 0 && !view.kept.low().empty();
  if (t1 > 0 && !allListed && lowGroup) writeSeparator(report);
  if (lowGroup) {
    for (const ListedTable& table : view.kept.low()) {
      writeTableBlock(report, view.layout, table.cells, table.probability, table.logProb, kShowLog);
    }
    report.list();
  }
}

}  // namespace

void writeConditionedSection(RecordWriter& report, const ConditionedView& view) {
  writeHeading(report, view);

  const ConditionOutcome& o = view.outcome;
  if (o.count == 0) {
    report.list();
    report.format("(A25,A,A45)", " No existe ninguna tabla ", view.problem.dimText,
                  " de la distribución que cumpla esa condición.");
    return;
  }

  writeCountAndSum(report, view);
  writeSumNotes(report, view);

  // T1 + T2 can exceed the 4-byte range (both may be typed as 2147483647).
  const bool allListed = int64_t{view.request.t1} + int64_t{view.request.t2} >= o.count;
  if (!allListed && !writeListedNote(report, view)) return;

  report.list({"[Las tablas se escriben ordenadas de mayor a menor probabilidad]."});
  if (o.tinyProbability) {
    report.list();
    report.list({"[Algunas de las probabilidades son demasiado pequeñas y pueden aparecer "});
    report.list({" escritas como 0. En caso de probabilidades demasiado pequeñas, "});
    report.list({" se escribe también el logaritmo natural de la misma]."});
  }
  writeListing(report, view, allListed);
}

}  // namespace rxc
