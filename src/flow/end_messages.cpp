#include "flow/end_messages.h"

#include "flow/report_file.h"

namespace rxc {

std::string reportErrorLine(const std::string& reportPath, int errorNumber) {
  return "Error: no se puede escribir el fichero " + reportPath + ": " +
         reportErrorCause(errorNumber);
}

}  // namespace rxc
