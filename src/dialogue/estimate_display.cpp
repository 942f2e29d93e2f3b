#include "dialogue/estimate_display.h"

namespace rxc {

void showTableCountEstimate(RecordWriter& console, std::string_view dimText, float approxCount) {
  console.list();
  console.format("(A29,A,A21,E13.6)", " Numero aproximado de tablas ", dimText,
                 " de la distribucion =", Real4{approxCount});
}

}  // namespace rxc
