// The console's two ends at their edges: answers saved by a Windows editor
// (a byte-order mark, CR LF line ends), a console that stops taking text
// part way, as a pipe does whose reader has left, and an input read from its
// descriptor that fails or is left non-blocking.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <streambuf>
#include <string>
#include <thread>

#include "flow/program_flow.h"
#include "support/session_driver.h"
#include "system/standard_input.h"

namespace rxc {
namespace {

using testing::runSession;

// The 2 x 3 example: option C with L = 0 and U the observed table 3 1 1 /
// 0 6 6, T1 = T2 = 2, and ENTER at the end.
const std::string kExampleRun = "2\n3\n5\n12\n3\n7\n7\nC\nN\n0\nY\n3\n1\n1\n0\n6\n6\n2\n2\n\n";
const std::string kByteOrderMark = "\xEF\xBB\xBF";

std::string withCrLf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

TEST(ByteOrderMark, AnswersThatStartWithOneRunAsWithout) {
  const auto plain = runSession(kExampleRun);
  ASSERT_EQ(plain.status, 0) << plain.errors;
  for (const std::string& input :
       {kByteOrderMark + kExampleRun, kByteOrderMark + withCrLf(kExampleRun)}) {
    const auto marked = runSession(input);
    EXPECT_EQ(marked.status, 0) << marked.errors;
    EXPECT_EQ(marked.console, plain.console);
    EXPECT_EQ(marked.report, plain.report);
  }
}

TEST(ByteOrderMark, OnlyAWholeOneAtTheVeryStartIsSkipped) {
  // Part of a mark is the answer's own text, and a mark after the first line
  // is text too: neither reads as a number.
  const std::string notANumber = "Error de lectura: se esperaba un numero entero\n";
  for (const std::string& input :
       {"\xEF\xBB" + kExampleRun, "\xEF" + kExampleRun, "2\n" + kByteOrderMark + "3\n"}) {
    const auto outcome = runSession(input);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.errors, notANumber);
  }
  // A mark and nothing else is an input that ends before the first answer.
  EXPECT_EQ(runSession(kByteOrderMark).errors, "Error de lectura: fin de los datos de entrada\n");
}

// A console that takes its first `accepted` bytes and refuses every write
// after them, counting the refusals.
class ConsoleThatCloses : public std::streambuf {
 public:
  explicit ConsoleThatCloses(std::size_t accepted) : left_(accepted) {}
  std::string taken;
  int refusals = 0;

 protected:
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    const auto kept = std::min<std::streamsize>(count, static_cast<std::streamsize>(left_));
    taken.append(text, static_cast<std::size_t>(kept));
    left_ -= static_cast<std::size_t>(kept);
    if (kept < count) ++refusals;
    return kept;
  }
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
  }

 private:
  std::size_t left_;
};

struct ClosedConsoleRun {
  explicit ClosedConsoleRun(std::size_t accepted) : console(accepted) {}
  int status = -1;
  std::string errors;
  std::string report;
  ConsoleThatCloses console;
};

// The report's path: one per test, so that tests run at once (ctest -j)
// do not meet on the report's lock.
std::string closedConsoleReportPath() {
  return ::testing::TempDir() + "rxc_closed_console_" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_res.txt";
}

void runWithConsoleClosingAfter(const std::string& input, ClosedConsoleRun& run) {
  std::istringstream in(input);
  std::ostream out(&run.console);
  std::ostringstream err;
  const std::string path = closedConsoleReportPath();
  run.status = runProgram(in, out, err, path);
  run.errors = err.str();
  std::ifstream written(path, std::ios::binary);
  run.report.assign(std::istreambuf_iterator<char>(written), {});
  written.close();
  std::remove(path.c_str());
}

TEST(ClosedConsole, TheRunFinishesItsReportAndEndsWithStatus4) {
  // Closed from the start, after 100 bytes (in the introduction), and at the
  // closing's last line: the rest of the dialogue is dropped, the answers
  // are still read, and the report is the one an open console gets.
  const auto open = runSession(kExampleRun);
  ASSERT_EQ(open.status, 0);
  for (const std::size_t accepted : {std::size_t{0}, std::size_t{100}, open.console.size() - 1}) {
    ClosedConsoleRun run(accepted);
    runWithConsoleClosingAfter(kExampleRun, run);
    EXPECT_EQ(run.status, 4) << accepted;
    EXPECT_EQ(run.errors, "Error: la consola se cerro antes del final; el informe " +
                              closedConsoleReportPath() + " esta completo\n");
    EXPECT_EQ(run.report, open.report) << accepted;
    EXPECT_EQ(run.console.taken, open.console.substr(0, accepted));
    // Once refused, the console is not written to again: no retry, no loop.
    EXPECT_EQ(run.console.refusals, 1) << accepted;
  }
}

TEST(ClosedConsole, ARunThatEndsEarlyKeepsItsOwnStatus) {
  // The input ends at the option's question: that is what standard error
  // says, with status 2, whether the console was closed or not.
  ClosedConsoleRun run(10);
  runWithConsoleClosingAfter("2\n3\n5\n12\n3\n7\n7\n", run);
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.errors, "Error de lectura: fin de los datos de entrada\n");
}

// A descriptor's bytes as they come: a non-blocking pipe found empty is
// waited for, and its end is the end of the input.
TEST(DescriptorInput, WaitsForANonBlockingPipeAndEndsWithIt) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ASSERT_EQ(::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK), 0);
  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(::write(fds[1], "2\n", 2), 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(::write(fds[1], "3\n", 2), 2);
    ::close(fds[1]);
  });
  DescriptorInputBuffer buffer(fds[0]);
  std::string read;
  for (auto c = buffer.sbumpc(); c != std::streambuf::traits_type::eof(); c = buffer.sbumpc()) {
    read += std::streambuf::traits_type::to_char_type(c);
  }
  writer.join();
  ::close(fds[0]);
  EXPECT_EQ(read, "2\n3\n");
}

// A read that fails ends the run with its cause and status 2, as unreadable
// input does, not as the end of the input.
TEST(DescriptorInput, AFailedReadEndsTheRunWithItsCause) {
  const int directory = ::open(::testing::TempDir().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(directory, 0);
  DescriptorInputBuffer buffer(directory);
  try {
    buffer.sgetc();
    ADD_FAILURE() << "a directory read as input";
  } catch (const InputReadError& error) {
    EXPECT_EQ(error.errorNumber(), EISDIR);
  }
  std::istream in(&buffer);
  std::ostringstream out, err;
  const std::string path = closedConsoleReportPath();
  EXPECT_EQ(runProgram(in, out, err, path), 2);
  EXPECT_EQ(err.str(), "Error de lectura: no se puede leer la entrada: es un directorio\n");
  std::remove(path.c_str());
  ::close(directory);
}

}  // namespace
}  // namespace rxc
