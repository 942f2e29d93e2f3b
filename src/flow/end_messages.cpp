#include "flow/end_messages.h"

#include "flow/report_file.h"
#include "records/text_encoding.h"

namespace rxc {

namespace {

constexpr const char* kError2 = "Error 2. Contactar con el autor.";

}  // namespace

std::string fatalStopLine(const FatalStop& stop, bool reportWritten) {
  if (stop.consoleError2) return kError2;
  std::string line = withoutAccents(stop.reportMessage);
  line.erase(0, line.find_first_not_of(' '));
  if (reportWritten) line += " (ver res.txt)";
  return line;
}

std::string reportErrorLine(const std::string& reportPath, int errorNumber) {
  return "Error: no se puede escribir el fichero " + reportPath + ": " +
         reportErrorCause(errorNumber);
}

std::string inputReadErrorLine(int errorNumber) {
  return "Error de lectura: no se puede leer la entrada: " + reportErrorCause(errorNumber);
}

std::string reportBusyLine(const std::string& reportPath) {
  return "Error: otra ejecucion de rxc esta escribiendo el fichero " + reportPath;
}

std::string consoleClosedLine(const std::string& reportPath) {
  return "Error: la consola se cerro antes del final; el informe " + reportPath + " esta completo";
}

std::string stackTooSmallLine(uint64_t limitBytes, uint64_t leastBytes) {
  return "Error: el limite de pila del proceso (ulimit -s) es de " +
         std::to_string(limitBytes >> 10) + " KiB; rxc necesita al menos " +
         std::to_string(leastBytes >> 10) + " KiB";
}

}  // namespace rxc
