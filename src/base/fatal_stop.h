// Fatal stops: the run's own consistency checks and failed acquisitions end
// the run at once. The message (when there is one) becomes the last record of
// the report; the console shows nothing more, except " Error 2. Contactar con
// el autor." for the kept-list check, and there is no ENTER wait.
#pragma once

#include <string>

namespace rxc {

struct FatalStop {
  std::string reportMessage;  // empty: nothing is written to the report
  bool consoleError2 = false;
};

inline const char* const kMemoryFailureMessage = " Fallo en la asignación de memoria.";

[[noreturn]] inline void stopRun(std::string reportMessage, bool consoleError2 = false) {
  throw FatalStop{std::move(reportMessage), consoleError2};
}

}  // namespace rxc
