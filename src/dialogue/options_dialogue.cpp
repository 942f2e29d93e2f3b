#include "dialogue/options_dialogue.h"

namespace rxc {

void runOptionsDialogue(Session&) {}  // placeholder until the dialogue lands

}  // namespace rxc
