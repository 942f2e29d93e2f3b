// rxc: exact distribution of r x c contingency tables with fixed marginals.
// The whole run lives in runProgram; main only binds it to the real console
// and to res.txt in the current directory, and sets what is process-wide.
#include <iostream>

#include "flow/end_messages.h"
#include "flow/program_flow.h"
#include "system/process_signals.h"
#include "system/stack_limit.h"
#include "system/standard_input.h"
#include "system/standard_streams.h"

int main() {
  // Before anything is opened, so that the report can never take the number
  // of a closed console stream. Without /dev/null there is no safe way on.
  if (!rxc::bindClosedStandardStreams()) return 3;
  // Signal dispositions belong to the process, not to a run, so they are set
  // here and not in runProgram, which tests call in-process: a closed console
  // or the file size limit becomes a failed write the run reports, and an
  // interruption puts the report written so far in place before it ends us.
  rxc::ignoreWriteSignals();
  rxc::InterruptionGuard interruption;
  rxc::RunSettings settings;
  settings.interruptionGuard = &interruption;
  // Below the stack a run needs, it would die of its first deep frame.
  settings.stackBytes = rxc::raiseStackTo(rxc::kLeastStackBytes);
  if (settings.stackBytes < rxc::kLeastStackBytes) {
    std::cerr << rxc::stackTooSmallLine(settings.stackBytes, rxc::kLeastStackBytes) << std::endl;
    return 1;
  }
  // The input read from its descriptor, so that a failed read is not taken
  // for the end of the input.
  rxc::DescriptorInputBuffer inputBuffer(0);
  std::istream input(&inputBuffer);
  return rxc::runProgram(input, std::cout, std::cerr, "res.txt", settings);
}
