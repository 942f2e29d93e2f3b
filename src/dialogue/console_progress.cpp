#include "dialogue/console_progress.h"

#include <cstdint>

namespace rxc {

void ConsoleProgress::start() { console_.format("(A3\\)", " 0%"); }

void ConsoleProgress::mark(int percent) {
  console_.format("(A4,I2,A1\\)", "****", static_cast<int16_t>(percent), "%");
}

void ConsoleProgress::finish() { console_.format("(A8)", "****100%"); }

}  // namespace rxc
