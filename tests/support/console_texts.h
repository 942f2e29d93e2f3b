// Console texts of the dialogue, written out by hand once for every test that
// compares a whole session. Prompts leave their line open and the answers are
// not echoed, so consecutive prompts share a line in the captured output.
#pragma once

#include <string>

#include "support/session_driver.h"

namespace rxc::testing {

// The texts held in variables are inline, so they are initialised before any
// later definition in a test file that builds on them. List-directed records
// start with a blank of their own, so texts that begin with a blank show two.
inline const std::string kIntroduction = lines({
    "  El programa calcula la distribucion de probabilidad de las tablas rxc con",
    "  marginales fijos, bajo el supuesto de independencia entre filas y columnas.",
    "  Las tablas se generan mediante el Algoritmo de Pagano-Halvorsen.",
    "",
    "  Se obtienen todas las posibles tablas de la distribucion, con",
    "  sus respectivas probabilidades, para unos marginales dados.",
    "",
    "  Escribe los resultados en el fichero res.txt",
});

// Introduction, dimensions, marginals and the estimate line (`estimateField`
// is the E13.6 field, e.g. " 0.176906E+02"). One prompt per marginal.
std::string openingConsole(const std::string& dim, int rows, int cols,
                           const std::string& estimateField);

// The options menu, from its four empty lines to the empty line after it.
std::string optionsMenu(const std::string& dim);
// An empty line, then the option prompt, left open.
inline const std::string kOptionPrompt = "\n  Introducir la opcion deseada [A/B/C]: ";

// Option A's 1/2/3 question and its prompt.
std::string optionAQuestions(const std::string& dim);
inline const std::string kChoicePrompt = "\n\n  Opcion [1/2/3]: ";

// The question whether a table is given for bound 'L' or 'U', the value
// prompt, and both together as when a number is typed.
std::string boundQuestion(const std::string& dim, char bound);
std::string valuePrompt(char bound);
std::string typedBound(const std::string& dim, char bound);
inline const std::string kCountsPrompts =
    "\n\n\n  Introducir valores T1 y T2 [T1>=0  y  T2>=0]:\n      T1=       T2= ";
std::string boundsError(bool optionC);
std::string emptyCondition(const std::string& dim);

// The heading of an observed table's entry, and the prompt of one cell
// ("    fila  i columna  j : ", asterisks for 100).
std::string observedHeading(const std::string& dim);
std::string cellPrompt(int row, int col);
// An observed table typed at once (every cell prompt of every row) and its
// probability line (`probabilityField` is the list-directed real).
std::string observedEntry(const std::string& dim, int rows, int cols,
                          const std::string& probabilityField);

// Option A's questions for how many modal or minimum tables to write.
inline const std::string kModalPrompt =
    "  Introducir numero de tablas de maxima probabilidad a escribir: ";
inline const std::string kMinimumPrompt =
    "  Introducir numero de tablas de minima probabilidad a escribir: ";

// The progress bar of an estimate below 1000000 and the total line.
std::string progressAndTotal(const std::string& dim, const std::string& totalField);
// The closing lines; the first empty record ends any line left open.
inline const std::string kClosing =
    lines({"", "", "", "  Ver resultados en el fichero res.txt.", "",
           "  Press ENTER key to finish the program and close the window.", ""});

}  // namespace rxc::testing
