// Formatted statements whose edit patterns are checked when the program is
// built. Compiled as it is, every statement fits its pattern and the file
// compiles; each RXC_BAD_* macro adds one statement whose pattern is wrong,
// and the file must then fail to compile on the pattern check
// (edit_pattern_detail::invalidEditPattern). CTest compiles it once as it is
// and once for each mistake (tests/CMakeLists.txt).
#include <sstream>

#include "records/record_item.h"
#include "records/record_writer.h"

namespace rxc {

void writeStatements() {
  std::ostringstream out;
  RecordWriter writer(out, StreamStyle::kReport);
  writer.format("(A18,I3,A3\\)", "  Numero de tablas", 12, " = ");
  writer.format("(/,4X,A5,D21.14)", "Suma:", 0.25);
  writer.format("(I\\)", SizedInt{7, 2});
  writer.format("(2I4)", 1, 2);
  writer.format("(1X)");
#if defined(RXC_BAD_SYNTAX)
  writer.format("(A5 I3)", "Suma:", 3);  // no comma between the items
#endif
#if defined(RXC_BAD_KIND)
  writer.format("(I3)", "tres");  // a text for an integer's field
#endif
#if defined(RXC_BAD_COUNT)
  writer.format("(A5,I3)", "Suma:");  // one item short
#endif
#if defined(RXC_BAD_BARE_I)
  writer.format("(I)", 7);  // a bare I takes the width an item carries
#endif
}

}  // namespace rxc
