// Drives a complete session in-process: the console input is a string, the
// console output and the report are read back whole.
#pragma once

#include <string>

#include "flow/program_flow.h"
#include "support/report_texts.h"

namespace rxc::testing {

struct SessionOutcome {
  int status = -1;
  std::string console;  // UTF-8, "\n" line ends
  std::string errors;   // standard error
  std::string report;   // raw bytes of res.txt (Windows-1252, CR LF)
};

SessionOutcome runSession(const std::string& input, const RunSettings& settings = {});

// The report bytes converted back to UTF-8 with "\n" line ends, for readable
// comparisons; fails the current test if a record does not end in CR LF.
std::string reportAsText(const std::string& reportBytes);

// Runs the session and expects it to end normally with exactly this console
// and report.
void expectSession(const std::string& input, const std::string& console, const Lines& report);

// Joins lines with the given line end, adding it after the last line too.
std::string lines(std::initializer_list<std::string> text, const std::string& end = "\n");

}  // namespace rxc::testing
