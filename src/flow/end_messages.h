// The line on standard error of a run that does not reach its normal end, so
// that such a run never ends in silence on the console. Plain ASCII, no
// accents, as every message of the console.
#pragma once

#include <cstdint>
#include <string>

#include "base/fatal_stop.h"

namespace rxc {

// A fatal stop: its message without the leading blank and the accents, then
// " (ver res.txt)" when the report holds it; for the kept-list check, which
// writes nothing to the report, the console's " Error 2" text.
std::string fatalStopLine(const FatalStop& stop, bool reportWritten);

// A report that could not be opened or written: the file as the run named it,
// and the cause.
std::string reportErrorLine(const std::string& reportPath, int errorNumber);

// A read of the console's input that failed (not its end): the cause.
std::string inputReadErrorLine(int errorNumber);

// Another run in the same folder holds the report.
std::string reportBusyLine(const std::string& reportPath);

// A run that ended normally with its console closed (or failing) on the way.
std::string consoleClosedLine(const std::string& reportPath);

// A stack limit too small for a run to start: the limit and the least a run
// needs, both in bytes (shown in KiB).
std::string stackTooSmallLine(uint64_t limitBytes, uint64_t leastBytes);

}  // namespace rxc
