// The line on standard error of a run that does not reach its normal end, so
// that such a run never ends in silence on the console. Plain ASCII, no
// accents, as every message of the console.
#pragma once

#include <string>

namespace rxc {

// A report that could not be opened or written: the file as the run named it,
// and the cause.
std::string reportErrorLine(const std::string& reportPath, int errorNumber);

}  // namespace rxc
