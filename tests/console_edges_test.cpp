// The console's two ends at their edges: answers saved by a Windows editor
// (a byte-order mark, CR LF line ends).
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "support/session_driver.h"

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

}  // namespace
}  // namespace rxc
