#include "support/console_texts.h"

#include "support/session_driver.h"

namespace rxc::testing {

namespace {

std::string withDim(std::string text, const std::string& dim) {
  for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + dim.size())) {
    text.replace(at, 1, dim);
  }
  return text;
}

// An integer right-justified in `width` columns, asterisks when it does not fit.
std::string field(int value, size_t width) {
  const std::string digits = std::to_string(value);
  return digits.size() > width ? std::string(width, '*')
                               : std::string(width - digits.size(), ' ') + digits;
}

}  // namespace

std::string openingConsole(const std::string& dim, int rows, int cols,
                           const std::string& estimateField) {
  std::string text =
      kIntroduction + "\n\n\n  Introducir numero de filas (r): " +
      "\n  Introducir numero de columnas (c): " + "\n\n\n  Introducir marginales de la tabla " +
      dim + ":\n\n";
  for (int i = 1; i <= rows; ++i) text += "     marginal fila" + field(i, 3) + " = ";
  text += "\n";
  for (int j = 1; j <= cols; ++j) text += "     marginal columna" + field(j, 3) + " = ";
  return text + "\n\n Numero aproximado de tablas " + dim +
         " de la distribucion =" + estimateField + "\n";
}

// '@' stands for the table size; the breaks are those of 80-column records.
std::string optionsMenu(const std::string& dim) {
  return withDim(
      lines({
          "",
          "",
          "",
          "",
          "  OPCIONES de resultados que se pueden obtener:",
          "",
          "  A. Las tablas @ de maxima probabilidad [moda de la distribucion]",
          "     y/o las tablas @ de minima probabilidad.",
          "",
          "  B. Las tablas @ con probabilidad mayor que un valor L y menor que un",
          "     valor U. Tanto L como U pueden ser la probabilidad de una tabla @",
          "     observada, la cual habra que introducir [0 <= L < U <= 1].",
          "",
          "  C. Las tablas @ con probabilidad mayor o igual que un valor L y menor",
          "     o igual que un valor U. Tanto L como U pueden ser la probabilidad de una",
          "     tabla @ observada, la cual habra que introducir [0 <= L <= U <= 1].",
          "",
          "",
          "  OBSERVACIONES:",
          "",
          "  * En cada opcion se da el numero de tablas @ resultante y, en B y C,",
          "    tambien se da la suma de las probabilidades de todas ellas.",
          "",
          "  * En las opciones B y C, del conjunto de tablas @ resultante, solo se",
          "    escribiran [en el fichero res.txt] las T1 de mayor probabilidad y las",
          "    T2 de menor probabilidad. Esto es util, sobre todo, cuando el numero de",
          "    tablas resultante sea muy grande. Habra que introducir T1 y T2.",
          "       - Si todas las tablas resultantes tienen la misma probabilidad,",
          "         simplemente se escribiran T1+T2 de esas  tablas.",
          "       - Si T1+T2 es mayor que el numero total de tablas resultantes,",
          "         se escribiran todas.",
          "",
          "  * Introduciendo valores convenientes de L [o una tabla observada],",
          "    U [o una tabla observada], T1 y T2, se pueden obtener diferentes",
          "    modalidades de resultados [ver informacion adicional del programa].",
          "",
      }),
      dim);
}

std::string optionAQuestions(const std::string& dim) {
  return withDim(lines({
                     "",
                     "",
                     "",
                     "",
                     "  Para las tablas de max. prob. y de min. prob., introducir una opcion:",
                     "",
                     "  1. Solo las tablas @ de maxima probabilidad [moda de la distribucion].",
                     "",
                     "  2. Solo las tablas @ de minima probabilidad.",
                     "",
                     "  3. Ambas, las tablas @ de maxima probabilidad y las tablas @ de",
                     "     minima probabilidad.",
                 }),
                 dim);
}

// Two empty lines (the first only ends an open prompt line), then the question.
std::string boundQuestion(const std::string& dim, char bound) {
  return "\n\n Desea introducir una tabla " + dim + " observada en lugar de un valor " + bound +
         "? [Y/N]: ";
}

std::string valuePrompt(char bound) { return std::string("  Introducir valor de ") + bound + ": "; }

std::string typedBound(const std::string& dim, char bound) {
  return boundQuestion(dim, bound) + valuePrompt(bound);
}

std::string boundsError(bool optionC) {
  return "\n" +
         lines({"  Error.  L [o la probabilidad de la correspondiente tabla introducida]",
                optionC
                    ? "  debe ser menor o igual que U [o que la probabilidad de la correspondiente"
                    : "  debe ser menor que U [o que la probabilidad de la correspondiente",
                "  tabla introducida].  Volver a introducir L, U, o tablas observadas.", ""});
}

std::string emptyCondition(const std::string& dim) {
  return "\n\n\n  Ninguna tabla " + dim +
         " cumple la condicion introducida.\n\n"
         "  Desea volver a introducir L, U, o tablas observadas? [Y/N]: \n\n";
}

std::string observedHeading(const std::string& dim) {
  return "\n\n\n  Introducir tabla " + dim +
         " observada [Introduciendo un valor negativo se\n"
         "  vuelve a introducir la fila actual o la fila anterior]:\n";
}

std::string cellPrompt(int row, int col) {
  return "    fila " + field(row, 2) + " columna " + field(col, 2) + " : ";
}

std::string observedEntry(const std::string& dim, int rows, int cols,
                          const std::string& probabilityField) {
  std::string text = observedHeading(dim) + "\n";
  for (int i = 1; i <= rows; ++i) {
    for (int j = 1; j <= cols; ++j) text += cellPrompt(i, j);
    text += "\n";
  }
  return text + "  Probabilidad de la tabla " + dim + " introducida =" + probabilityField + "\n";
}

std::string progressAndTotal(const std::string& dim, const std::string& totalField) {
  return "\n\n\n\n  Progreso de los calculos:\n 0%****100%\n\n\n\n\n  Numero total de tablas " +
         dim + " de la distribucion =" + totalField + "\n";
}

}  // namespace rxc::testing
