#include "dialogue/console_progress.h"

#include <cstdint>

namespace rxc {

// The line stays open while a pass runs, so the start and each mark are
// flushed at once: a terminal or a pipe shows them as they come, not only when
// the pass ends.
void ConsoleProgress::start() {
  console_.format("(A3\\)", " 0%");
  console_.flush();
}

void ConsoleProgress::mark(int percent) {
  console_.format("(A4,I2,A1\\)", "****", static_cast<int16_t>(percent), "%");
  console_.flush();
}

void ConsoleProgress::finish() { console_.format("(A8)", "****100%"); }

}  // namespace rxc
