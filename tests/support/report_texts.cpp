#include "support/report_texts.h"

#include <utility>

namespace rxc::testing {

Lines& operator<<(Lines& out, const Lines& more) {
  out.insert(out.end(), more.begin(), more.end());
  return out;
}

Lines operator<<(Lines&& out, const Lines& more) { return std::move(out << more); }

std::string joined(const Lines& text) {
  std::string out;
  for (const auto& line : text) out += line + "\n";
  return out;
}

Lines reportHead(const std::string& dim, const std::string& rows, const std::string& cols,
                 const std::string& total) {
  return {"",
          "",
          "  DISTRIBUCIÓN DE PROBABILIDAD DE LAS TABLAS " + dim + " CON MARGINALES FIJOS,",
          "  Y BAJO EL SUPUESTO DE INDEPENDENCIA ENTRE FILAS Y COLUMNAS.",
          "",
          "  Marginales filas:     " + rows,
          "  Marginales columnas:  " + cols,
          "",
          "",
          "",
          "  Numero total de tablas " + dim + " de la distribucion =" + total,
          ""};
}

Lines block(const Lines& rows, const std::string& prob, const std::string& logProb) {
  Lines out{""};
  for (size_t i = 0; i < rows.size(); ++i) {
    std::string line = rows[i];
    if (i == 0) line += "      Prob.=" + prob;
    if (i == 1 && !logProb.empty()) line += "      log(Prob.)=" + logProb;
    out.push_back(line);
  }
  out.push_back("");
  return out;
}

}  // namespace rxc::testing
