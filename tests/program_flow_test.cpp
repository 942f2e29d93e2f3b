// Whole sessions through the opening stages: introduction, dimensions,
// marginals, report head and estimate, with their re-asks, and every way a run
// ends early: bad input, the end of input, fatal stops, memory refused, and a
// report that cannot be written.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <new>
#include <set>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "flow/end_messages.h"
#include "flow/report_file.h"
#include "flow/report_placement.h"
#include "support/console_texts.h"
#include "support/report_texts.h"
#include "support/session_driver.h"

namespace rxc {
namespace {

using testing::kIntroduction;
using testing::lines;
using testing::openingConsole;
using testing::reportAsText;
using testing::runSession;
using testing::operator<<;

// Prompts leave their line open and the answers are not echoed, so the
// captured console shows consecutive prompts on one line.
const std::string kRowsPrompt = "\n\n\n  Introducir numero de filas (r): ";
const std::string kColsPrompt = "\n  Introducir numero de columnas (c): ";

TEST(OpeningStages, TypicalRunShowsDialogueEstimateAndReportHead) {
  const auto outcome = runSession("2\n3\n5\n12\n3\n7\n7\n");
  const std::string expected = openingConsole("2x3", 2, 3, " 0.176906E+02");
  ASSERT_GE(outcome.console.size(), expected.size());
  EXPECT_EQ(outcome.console.substr(0, expected.size()), expected);
  // The input ends at the options prompt: the run stops there, non-zero, and
  // the report holds exactly its head, in Windows-1252 with CR LF.
  EXPECT_EQ(outcome.status, 2);
  EXPECT_EQ(
      outcome.report,
      lines({"", "", "  DISTRIBUCI\xD3N DE PROBABILIDAD DE LAS TABLAS 2x3 CON MARGINALES FIJOS,",
             "  Y BAJO EL SUPUESTO DE INDEPENDENCIA ENTRE FILAS Y COLUMNAS.", "",
             "  Marginales filas:     5,  12", "  Marginales columnas:  3,  7,  7", "", ""},
            "\r\n"));
}

TEST(OpeningStages, FirstMarginalsWidenedToTheWiderOfTheTwo) {
  const auto outcome = runSession("2\n2\n1234\n5\n1\n1238\n");
  const std::string report = reportAsText(outcome.report);
  EXPECT_NE(report.find("\n  Marginales filas:     1234,  5\n"
                        "  Marginales columnas:     1,  1238\n\n\n"),
            std::string::npos)
      << report;
}

TEST(OpeningStages, DimensionsOutOfRangeAreAskedAgainSilently) {
  // 1 and 12345 are out of range; "1234567" is read as its first five
  // characters; a blank line reads 0. Only the column question repeats for c.
  const auto outcome = runSession("1\n12345\n1234567\n\n7\n101\n1\n12\n");
  const std::string expected = kIntroduction + kRowsPrompt + kRowsPrompt + kRowsPrompt +
                               kRowsPrompt + kRowsPrompt + kColsPrompt + kColsPrompt + kColsPrompt +
                               "\n\n\n  Introducir marginales de la tabla 7x12:\n\n";
  ASSERT_GE(outcome.console.size(), expected.size());
  EXPECT_EQ(outcome.console.substr(0, expected.size()), expected);
}

TEST(OpeningStages, MarginalChecksAndRestarts) {
  // 20001, 0 and -3 repeat their own question while 20000 is accepted;
  // 20000 + 1 exceeds the total before any column is asked; then a column sum
  // that differs from N; then marginals that pass.
  const auto outcome = runSession("2\n2\n20001\n20000\n0\n-3\n1\n1\n2\n1\n1\n1\n1\n1\n1\n");
  const std::string rowPrompt1 = "     marginal fila  1 = ";
  const std::string rowPrompt2 = "     marginal fila  2 = ";
  const std::string colPrompt1 = "     marginal columna  1 = ";
  const std::string colPrompt2 = "     marginal columna  2 = ";
  const std::string head = "\n\n\n  Introducir marginales de la tabla 2x2:\n\n";
  const std::string expected =
      kIntroduction + kRowsPrompt + kColsPrompt + head + rowPrompt1 + rowPrompt1 + rowPrompt2 +
      rowPrompt2 + rowPrompt2 + "\n" + "  El total N no debe ser superior a 20000.\n" + head +
      rowPrompt1 + rowPrompt2 + "\n" + colPrompt1 + colPrompt2 + "\n" +
      "   Algun marginal es incorrecto.\n" + head + rowPrompt1 + rowPrompt2 + "\n" + colPrompt1 +
      colPrompt2 + "\n" + "\n Numero aproximado de tablas 2x2 de la distribucion = 0.225676E+01\n";
  ASSERT_GE(outcome.console.size(), expected.size()) << outcome.console;
  EXPECT_EQ(outcome.console.substr(0, expected.size()), expected);
}

TEST(OpeningStages, UnreadableInputEndsTheRunWithAMessage) {
  struct Case {
    const char* input;
    const char* why;
  };
  const Case cases[] = {
      {"dos\n", "letters for r"},
      {"2\n3\n5\nx12\n", "letters for a marginal"},
      {"2\n3\n40000\n", "a marginal beyond the 2-byte range"},
      {"2\n3\n5\n", "input that ends early"},
      {"", "no input at all"},
  };
  for (const Case& c : cases) {
    const auto outcome = runSession(c.input);
    EXPECT_EQ(outcome.status, 2) << c.why;
    EXPECT_FALSE(outcome.errors.empty()) << c.why;
    // One line, no accented letters.
    EXPECT_EQ(outcome.errors.find('\n'), outcome.errors.size() - 1) << c.why;
    for (char ch : outcome.errors) EXPECT_GE(static_cast<signed char>(ch), 0) << c.why;
    // Nothing had been written to the report yet.
    EXPECT_EQ(outcome.report, "") << c.why;
  }
}

TEST(OpeningStages, OverlongAnswerLineEndsTheRunAsUnreadable) {
  // Eight megabytes of digits for r: refused as too long, not read whole and
  // not reported as the end of the input.
  std::string input(8 << 20, '7');
  input += "\n2\n3\n";
  const auto outcome = runSession(input);
  EXPECT_EQ(outcome.status, 2);
  EXPECT_EQ(outcome.errors, "Error de lectura: linea demasiado larga\n");
  EXPECT_EQ(outcome.report, "");
}

TEST(OpeningStages, RefusedFirstAcquisitionIsAFatalStop) {
  RunSettings settings;
  settings.memoryLimitBytes = 16;
  const auto outcome = runSession("2\n3\n", settings);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.console,
            kIntroduction + kRowsPrompt + kColsPrompt + "\n");  // no ENTER wait
  EXPECT_EQ(outcome.report, "  Fallo en la asignaci\xF3n de memoria.\r\n");
}

// ---------------------------------------------------------------------------
// Runs that end early say so on standard error.

// The 2 x 3 example, option C with L = 0 and U the observed table, T1 = T2 = 2.
const std::string kFisherRun = "2\n3\n5\n12\n3\n7\n7\nC\nN\n0\nY\n3\n1\n1\n0\n6\n6\n2\n2\n\n";
const std::string kReportHead2x3 =
    lines({"", "", "  DISTRIBUCI\xD3N DE PROBABILIDAD DE LAS TABLAS 2x3 CON MARGINALES FIJOS,",
           "  Y BAJO EL SUPUESTO DE INDEPENDENCIA ENTRE FILAS Y COLUMNAS.", "",
           "  Marginales filas:     5,  12", "  Marginales columnas:  3,  7,  7", "", ""},
          "\r\n");

TEST(RunEnd, FatalStopIsAlsoOneLineOnStandardError) {
  RunSettings settings;
  settings.memoryLimitBytes = 16;
  const auto outcome = runSession("2\n3\n", settings);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.errors, "Fallo en la asignacion de memoria. (ver res.txt)\n");
  EXPECT_EQ(outcome.report, "  Fallo en la asignaci\xF3n de memoria.\r\n");

  // Every stop's line: the message without its leading blank and accents; the
  // kept-list check names the console's text, as the report has nothing.
  EXPECT_EQ(fatalStopLine({" Error ultimo elemento. Contactar con el autor"}, true),
            "Error ultimo elemento. Contactar con el autor (ver res.txt)");
  EXPECT_EQ(fatalStopLine({"Demasiadas tablas. Contactar con el autor."}, true),
            "Demasiadas tablas. Contactar con el autor. (ver res.txt)");
  EXPECT_EQ(fatalStopLine({" Error 3. Contactar con el autor."}, true),
            "Error 3. Contactar con el autor. (ver res.txt)");
  EXPECT_EQ(fatalStopLine({"", true}, true), "Error 2. Contactar con el autor.");
  // When the report could not take the message, it does not point there.
  EXPECT_EQ(fatalStopLine({" Fallo en la asignación de memoria."}, false),
            "Fallo en la asignacion de memoria.");
}

// Console input that gives `text` and then, instead of more, refuses memory:
// an allocation failure met in the middle of a run.
class InputThenNoMemory : public std::streambuf {
 public:
  explicit InputThenNoMemory(std::string text) : text_(std::move(text)) {
    setg(text_.data(), text_.data(), text_.data() + text_.size());
  }

 protected:
  int_type underflow() override { throw std::bad_alloc(); }

 private:
  std::string text_;
};

TEST(RunEnd, AllocationFailureEndsTheRunAsTheMemoryStop) {
  // Memory refused while T1 is read, after the report head was written.
  InputThenNoMemory source("2\n3\n5\n12\n3\n7\n7\nC\nN\n0\nN\n1\n");
  std::istream in(&source);
  std::ostringstream out, err;
  const std::string path = ::testing::TempDir() + "rxc_no_memory_res.txt";
  const int status = runProgram(in, out, err, path);
  std::ifstream written(path, std::ios::binary);
  const std::string report{std::istreambuf_iterator<char>(written), {}};
  written.close();
  std::remove(path.c_str());
  EXPECT_EQ(status, 1);
  EXPECT_EQ(err.str(), "Fallo en la asignacion de memoria. (ver res.txt)\n");
  EXPECT_EQ(report, kReportHead2x3 + "  Fallo en la asignaci\xF3n de memoria.\r\n");
  EXPECT_EQ(out.str().find("Ver resultados"), std::string::npos);
}

// Console input served line by line that, when the program starts reading
// one of the chosen lines (it is waiting for that answer), takes a copy of
// the report file as it is on disk then.
class ProbingInput : public std::streambuf {
 public:
  ProbingInput(std::vector<std::string> answers, std::string reportPath)
      : answers_(std::move(answers)), path_(std::move(reportPath)) {}
  std::map<size_t, std::string> onDisk;  // by the answer's index
  std::set<size_t> probes;

 protected:
  int_type underflow() override {
    if (next_ == answers_.size()) return traits_type::eof();
    if (probes.count(next_) != 0) {
      std::ifstream file(path_, std::ios::binary);
      onDisk[next_].assign(std::istreambuf_iterator<char>(file), {});
    }
    line_ = answers_[next_++] + "\n";
    setg(line_.data(), line_.data(), line_.data() + line_.size());
    return traits_type::to_int_type(line_[0]);
  }

 private:
  std::vector<std::string> answers_;
  std::string path_;
  std::string line_;
  size_t next_ = 0;
};

TEST(RunEnd, WhileAQuestionWaitsTheReportSoFarIsOnDisk) {
  // Option A on 2 x 7 (rows 4, 4; columns 2, 1, 1, 1, 1, 1, 1). While the
  // option is asked (answer 11) the head is in the file; while the number of
  // modal tables is asked (answer 13), the total and the section's heading
  // too, in the temporary file that replaces the report when the run ends. A
  // run interrupted there keeps them.
  const std::string path = ::testing::TempDir() + "rxc_probe_res.txt";
  ProbingInput source(
      {"2", "7", "4", "4", "2", "1", "1", "1", "1", "1", "1", "A", "3", "0", "2", ""},
      temporaryReportPath(path));
  source.probes = {11, 13};
  std::istream in(&source);
  std::ostringstream out, err;
  EXPECT_EQ(runProgram(in, out, err, path), 0) << err.str();
  std::remove(path.c_str());
  const testing::Lines head = {
      "",
      "",
      "  DISTRIBUCIÓN DE PROBABILIDAD DE LAS TABLAS 2x7 CON MARGINALES FIJOS,",
      "  Y BAJO EL SUPUESTO DE INDEPENDENCIA ENTRE FILAS Y COLUMNAS.",
      "",
      "  Marginales filas:     4,  4",
      "  Marginales columnas:  2,  1,  1,  1,  1,  1,  1",
      "",
      ""};
  EXPECT_EQ(reportAsText(source.onDisk[11]), testing::joined(head));
  EXPECT_EQ(
      reportAsText(source.onDisk[13]),
      testing::joined(
          testing::reportHead("2x7", "4,  4", "2,  1,  1,  1,  1,  1,  1", " 50") << testing::Lines(
              {"", "", "  TABLAS 2x7 DE MÁXIMA PROBABILIDAD (Moda de la distribución):", ""})));
}

TEST(RunEnd, ReportThatCannotBeWrittenIsAFailureWithItsCause) {
  // /dev/full takes the file's opening and refuses every write: the head's
  // write fails, the run ends there with status 3 and the cause, and the
  // closing's pointer to the report is never shown.
  std::istringstream in(kFisherRun);
  std::ostringstream out, err;
  EXPECT_EQ(runProgram(in, out, err, "/dev/full"), 3);
  EXPECT_EQ(err.str(),
            "Error: no se puede escribir el fichero /dev/full: no queda espacio en el "
            "dispositivo\n");
  const std::string opening = openingConsole("2x3", 2, 3, " 0.176906E+02");
  EXPECT_EQ(out.str(), opening.substr(0, opening.find("\n Numero aproximado")));

  // A file that cannot be created: the same, named as the run was given it.
  std::istringstream noInput("");
  std::ostringstream noOut, noErr;
  EXPECT_EQ(runProgram(noInput, noOut, noErr, "/nonexistent-rxc-dir/res.txt"), 3);
  EXPECT_EQ(noErr.str(),
            "Error: no se puede escribir el fichero /nonexistent-rxc-dir/res.txt: no existe el "
            "directorio\n");
}

TEST(RunEnd, ReportFileKnowsAFailedWriteAtOnceWithItsCause) {
  // Small writes wait in the buffer; the flush meets the full device.
  ReportFile small("/dev/full");
  ASSERT_TRUE(small.isOpen());
  small.stream() << "head\r\n";
  EXPECT_FALSE(small.failed());
  try {
    small.stream().flush();
    ADD_FAILURE() << "no failure";
  } catch (const ReportWriteError& e) {
    EXPECT_EQ(e.errorNumber, ENOSPC);
  }
  EXPECT_TRUE(small.failed());
  EXPECT_EQ(small.error(), ENOSPC);
  // A write larger than the buffer fails in the statement itself.
  ReportFile large("/dev/full");
  EXPECT_THROW(large.stream() << std::string(1 << 17, 'x'), ReportWriteError);
  EXPECT_EQ(large.error(), ENOSPC);

  EXPECT_EQ(reportErrorCause(EDQUOT), "se ha superado la cuota de disco");
  EXPECT_EQ(reportErrorCause(EFBIG), "el fichero es demasiado grande");
  EXPECT_EQ(reportErrorCause(EIO), "error de entrada/salida");
  EXPECT_EQ(reportErrorCause(EROFS), "el sistema de ficheros es de solo lectura");
  EXPECT_EQ(reportErrorCause(EACCES), "permiso denegado");
  EXPECT_EQ(reportErrorCause(EPIPE), "el otro extremo de la tuberia esta cerrado");
  EXPECT_EQ(reportErrorCause(EXDEV), "error del sistema numero " + std::to_string(EXDEV));
}

}  // namespace
}  // namespace rxc
