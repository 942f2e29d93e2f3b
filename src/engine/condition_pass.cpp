#include "engine/condition_pass.h"

namespace rxc {

void runConditionedPass(Session&) {}  // placeholder until options B and C land

}  // namespace rxc
