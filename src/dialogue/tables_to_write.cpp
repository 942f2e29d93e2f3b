#include "dialogue/tables_to_write.h"

#include "records/count_form.h"

namespace rxc {

namespace {
// The largest number of tables the user may ask for.
constexpr int32_t kMostTablesToWrite = 500000;
}  // namespace

int32_t askExtremeTablesToWrite(Console& console, std::string_view dimText, ExtremeSide side,
                                double count, int32_t kept, int32_t previous) {
  const bool maximum = side == ExtremeSide::kMaximum;
  RecordWriter& out = console.out();
  console.blankLines(4);
  out.format("(A25,A,A25\\)", "  Numero total de tablas ", dimText,
             maximum ? " de maxima probabilidad =" : " de minima probabilidad =");
  writeCountForm(out, count, /*keepRealOpen=*/true);
  console.blankLines(2);
  int32_t wanted = previous;
  for (;;) {
    if (maximum) {
      out.format("(A65\\)", "  Introducir numero de tablas de maxima probabilidad a escribir: ");
    } else {
      out.format("(A65\\)", "  Introducir numero de tablas de minima probabilidad a escribir: ");
    }
    wanted = console.in().readListInt32(wanted);
    if (wanted < 0) continue;
    if (wanted <= kMostTablesToWrite) break;
    out.list({" No puede ser mayor que 500000."});
  }
  return wanted > kept ? kept : wanted;
}

int32_t askEqualProbabilityTablesToWrite(Console& console, std::string_view dimText) {
  RecordWriter& out = console.out();
  console.blankLines(2);
  out.format("(A20,A,A50)", "  No existen tablas ", dimText,
             " de maxima probabilidad ni de minima probabilidad.");
  out.format("(A19,A,A49)", "  Todas las tablas ", dimText,
             " de la distribucion tienen la misma probabilidad.");
  out.list();
  out.format("(A69\\)", "  Introducir numero de tablas de la distribucion que desea escribir: ");
  return console.in().readListInt32(/*previous=*/0);
}

}  // namespace rxc
