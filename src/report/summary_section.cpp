#include "report/summary_section.h"

namespace rxc {

bool writeResultsSummary(Session&) { return false; }  // placeholder

}  // namespace rxc
