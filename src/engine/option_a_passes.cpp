#include "engine/option_a_passes.h"

namespace rxc {

void runOptionAPasses(Session&) {}  // placeholder until option A lands

}  // namespace rxc
