// rxc: exact distribution of r x c contingency tables with fixed marginals.
// The whole run lives in runProgram; main only binds it to the real console
// and to res.txt in the current directory.
#include <iostream>

#include "flow/program_flow.h"

int main() { return rxc::runProgram(std::cin, std::cout, std::cerr, "res.txt"); }
