// rxc: exact distribution of r x c contingency tables with fixed marginals.
// The whole run lives in runProgram; main only binds it to the real console
// and to res.txt in the current directory.
#include <iostream>

#include "base/standard_streams.h"
#include "flow/program_flow.h"

int main() {
  // Before anything is opened, so that the report can never take the number
  // of a closed console stream. Without /dev/null there is no safe way on.
  if (!rxc::bindClosedStandardStreams()) return 3;
  return rxc::runProgram(std::cin, std::cout, std::cerr, "res.txt");
}
