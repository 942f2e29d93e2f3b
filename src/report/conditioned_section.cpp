#include "report/conditioned_section.h"

namespace rxc {

void writeConditionedSection(Session&) {}  // placeholder

}  // namespace rxc
