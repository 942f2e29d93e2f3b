#include "report/table_total.h"

#include "records/count_form.h"

namespace rxc {

void writeTableTotal(RecordWriter& out, std::string_view label, std::string_view dimText,
                     double tableCount) {
  out.format("(A25,A,A21\\)", label, dimText, " de la distribucion =");
  writeCountForm(out, tableCount, /*keepRealOpen=*/false);
}

}  // namespace rxc
