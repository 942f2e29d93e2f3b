// The record layer: list-directed and formatted writes on both stream styles,
// and every way a console read succeeds or ends the run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>

#include "records/input_error.h"
#include "records/record_reader.h"
#include "records/record_writer.h"
#include "records/text_encoding.h"

namespace rxc {
namespace {

class WriterTest : public ::testing::Test {
 protected:
  std::string consoleText() {
    console.flush();
    return consoleOut.str();
  }
  std::string reportText() {
    report.flush();
    return reportOut.str();
  }

  std::ostringstream consoleOut;
  std::ostringstream reportOut;
  RecordWriter console{consoleOut, StreamStyle::kConsole};
  RecordWriter report{reportOut, StreamStyle::kReport};
};

TEST_F(WriterTest, ListRecordsWrapAtEightyColumns) {
  const std::string a(44, 'a'), b(7, 'b'), c(22, 'c'), d(60, 'd'), full(79, 'x');
  console.list({a, b, c, d});
  console.list({full, "y"});                       // exactly 80 columns, then a new record
  console.list({"ab", std::string(79 + 5, 'z')});  // longer than a record: split
  EXPECT_EQ(consoleText(), " " + a + b + c + "\n " + d + "\n " + full + "\n y\n ab\n " +
                               std::string(79, 'z') + "\n zzzzz\n");
}

TEST_F(WriterTest, ListRecordsCountAccentedLettersAsOneColumn) {
  // 77 columns of which two are two-byte letters: 2 more columns still fit.
  const std::string accented = std::string(37, 'a') + "Ó" + std::string(38, 'a') + "ñ";
  console.list({accented, "bc"});
  EXPECT_EQ(consoleText(), " " + accented + "bc\n");
}

TEST_F(WriterTest, ListRealTakesTwentyFourColumnsAndSeparatesFollowingText) {
  console.list({" Probabilidad de la tabla ", "2x3", " introducida =", 0.5});
  console.list({0.5, "x"});
  // The separating blank is not carried to a new record.
  console.list({std::string(50, 'a'), 0.5, "bcdef"});
  EXPECT_EQ(consoleText(),
            "  Probabilidad de la tabla 2x3 introducida =  0.500000000000000     \n"
            "   0.500000000000000      x\n " +
                std::string(50, 'a') + "  0.500000000000000     \n bcdef\n");
}

TEST_F(WriterTest, ListStatementsAfterAnOpenRecord) {
  console.format("(A10\\)", "      T1= ");
  console.list();  // ends the open record only
  console.list();
  console.format("(A3\\)", "abc");
  console.list({"de"});  // continues it
  EXPECT_EQ(consoleText(), "      T1= \n\nabc de\n");
}

TEST_F(WriterTest, FormattedTextIsPaddedOrCut) {
  console.format("(A18,I3,A3\\)", " marginal fila", int16_t{1}, " = ");
  console.format("(1X)");
  console.format("(A40)", "  Introducir la opcion deseada [A/B/C]:  ");
  console.format("(A3,A)", "ÓÍÁ", "áéíóúñ");
  EXPECT_EQ(consoleText(),
            "     marginal fila  1 = \n  Introducir la opcion deseada [A/B/C]: \nÓÍÁáéíóúñ\n");
}

TEST_F(WriterTest, FormattedNumbers) {
  console.format("(I3)", int32_t{1234});
  console.format("(4X,A6,D21.14)", "Prob.=", 0.5);
  console.format("(A29,A3,A21,E13.6)", " Numero aproximado de tablas ", "2x3",
                 " de la distribucion =", Real4{17.690639f});
  console.format("(A9,I2,A9,I2,A3\\)", "    fila ", int16_t{100}, " columna ", int16_t{-3}, " : ");
  EXPECT_EQ(consoleText(),
            "***\n    Prob.= 0.50000000000000D+00\n"
            " Numero aproximado de tablas 2x3 de la distribucion = 0.176906E+02\n"
            "    fila ** columna -3 : ");
}

TEST_F(WriterTest, SlashesAndEmptyPatterns) {
  console.format("(/,/,/,A34\\)", "  Introducir numero de filas (r): ");
  console.format("(/,A5\\)", "  c: ");
  console.format("(1X,/,/)");
  console.format("(1X)");
  // "(1X,/,/)" ends the open record and writes two empty ones; "(1X)" a third.
  EXPECT_EQ(consoleText(), "\n\n\n  Introducir numero de filas (r): \n  c: \n\n\n\n");
}

TEST_F(WriterTest, OpenRecordIsContinuedByLaterWrites) {
  report.format("(5X\\)");
  for (int16_t cell : {3, 12, 7}) report.format("(I4\\) ", cell);
  report.format("(1X)");
  report.format("(A7,I3\\)", " De las", int32_t{42});
  EXPECT_TRUE(report.recordOpen());
  EXPECT_EQ(reportText(), "        3  12   7\r\n De las 42");  // open text reaches the stream
  report.format("(A2,/,A4)", "),", "next");
  EXPECT_FALSE(report.recordOpen());
  // Skipped columns with nothing after them leave no blanks.
  report.format("(A2,3X\\)", "cd");
  report.format("(1X)");
  EXPECT_EQ(reportText(), "        3  12   7\r\n De las 42),\r\nnext\r\ncd\r\n");
}

TEST_F(WriterTest, BareWidthsTakeTheItemsOwn) {
  // A bare A writes the text in its own length, a bare I the integer in the
  // width it carries.
  console.format("(A25,A,A21\\)", "  Numero total de tablas ", "100x100", " de la distribucion =");
  console.format("(I\\)", SizedInt{18, 3});
  console.format("(A1,I,A1)", "[", SizedInt{-7, 4}, "]");
  console.format("(I)", SizedInt{12345, 3});
  EXPECT_EQ(consoleText(), "  Numero total de tablas 100x100 de la distribucion = 18[  -7]\n***\n");
}

// Patterns are checked when the program is built; these are the same checks
// asked as questions.
static_assert(patternFits<const char*, int16_t, const char*>("(A18,I3,A3\\)"));
static_assert(patternFits<const char*, double>(" ( 4X , A6 , D21.14 ) "));
static_assert(patternFits<>("(1X,/,/)"));
static_assert(patternFits<const char*, const char*>("(A2,/,A62)"));
static_assert(patternFits<SizedInt, const char*, double, const char*>("(I,A4,E16.10,A3)"));
static_assert(patternFits<Real4>("(E13.6)"));
// Items of the wrong kind or number.
static_assert(!patternFits<const char*>("(A2,/,A62\\)"));       // fewer items
static_assert(!patternFits<const char*, const char*>("(A2)"));  // more items
static_assert(!patternFits<int32_t>("(A5)"));
static_assert(!patternFits<const char*>("(I5)"));
static_assert(!patternFits<double>("(I5)"));
static_assert(!patternFits<int32_t>("(I)"));    // a bare I needs a sized item
static_assert(!patternFits<SizedInt>("(I5)"));  // and only a bare I takes one

TEST(EditPattern, MalformedPatternsSayWhy) {
  const struct {
    const char* pattern;
    const char* why;
  } cases[] = {
      {"A5", "expected '('"},
      {"(A5", "missing ')'"},
      {"(A5,,I3)", "empty item"},
      {"(,A5)", "empty item"},
      {"(A5 I3)", "missing comma"},
      {"(A5,)", "comma before ')'"},
      {"(A5)x", "text after the closing parenthesis"},
      {"(\\,A5)", "the backslash must be the last item"},
      {"(2\\)", "count before a backslash"},
      {"(0A5)", "zero repeat count"},
      {"(A0)", "zero width"},
      {"(D21)", "expected '.'"},
      {"(D.5)", "D and E need w.d"},
      {"(Q5)", "unknown edit item"},
      {"(A100000)", "number too large"},
      {"(17A1)", "too many items"},
  };
  for (const auto& c : cases) {
    const ParsedPattern parsed = parseEditPattern(c.pattern);
    ASSERT_NE(parsed.error, nullptr) << c.pattern;
    EXPECT_STREQ(parsed.error, c.why) << c.pattern;
  }
  // Repeat counts, slashes that need no comma, lower case.
  const ParsedPattern repeated = parseEditPattern("(2a3/3x,i2\\)");
  ASSERT_EQ(repeated.error, nullptr);
  EXPECT_EQ(repeated.pattern.size, 5);  // A3, A3, /, 3X, I2
  EXPECT_TRUE(repeated.pattern.keepOpen);
  EXPECT_EQ(repeated.pattern.items[2].kind, EditItem::Kind::kNewRecord);
  EXPECT_EQ(repeated.pattern.items[3].width, 3);
}

TEST_F(WriterTest, ReportIsWindows1252WithCrLf) {
  report.list();
  report.list({" DISTRIBUCIÓN DE PROBABILIDAD DE LAS TABLAS ", "2x3", " CON MARGINALES FIJOS,",
               " Y BAJO EL SUPUESTO DE INDEPENDENCIA ENTRE FILAS Y COLUMNAS."});
  report.format("(1X)");
  report.format("(A10)", "Sólo año");
  EXPECT_EQ(reportText(),
            "\r\n  DISTRIBUCI\xD3N DE PROBABILIDAD DE LAS TABLAS 2x3 CON MARGINALES FIJOS,\r\n"
            "  Y BAJO EL SUPUESTO DE INDEPENDENCIA ENTRE FILAS Y COLUMNAS.\r\n"
            "\r\n  S\xF3lo a\xF1o\r\n");
}

TEST(TextEncoding, AccentedLettersLoseTheirAccentsForPlainLines) {
  EXPECT_EQ(withoutAccents(" Fallo en la asignación de memoria."),
            " Fallo en la asignacion de memoria.");
  EXPECT_EQ(withoutAccents("ÁÉÍÓÚÑÜ áéíóúñü"), "AEIOUNU aeiounu");
  // Other marks, and bytes that are no UTF-8, have no plain form.
  EXPECT_EQ(withoutAccents("x€×\xFFy"), "x???y");
}

TEST(TextEncoding, ConvertsSpanishLettersAndMarksTheRest) {
  EXPECT_EQ(utf8ToCp1252("ÓÍÁáéíóúñ"), "\xD3\xCD\xC1\xE1\xE9\xED\xF3\xFA\xF1");
  EXPECT_EQ(utf8ToCp1252("€—"), "\x80\x97");
  EXPECT_EQ(utf8ToCp1252("ǅ✓"), "??");
  EXPECT_EQ(utf8ToCp1252("a\xC3"), "a?");     // truncated sequence
  EXPECT_EQ(utf8ToCp1252("\xC0\xAF"), "??");  // overlong form
  EXPECT_EQ(columnCount("a\xC3"), 2);
  EXPECT_EQ(columnCount("añ€"), 3);
  EXPECT_EQ(columnPrefixBytes("añb", 2), 3u);
  EXPECT_EQ(columnPrefixBytes("añb", 9), 4u);
}

class ReaderTest : public ::testing::Test {
 protected:
  RecordReader& readerOf(const std::string& text) {
    in.clear();
    in.str(text);
    return reader;
  }

  std::istringstream in;
  std::ostringstream consoleOut;
  RecordWriter console{consoleOut, StreamStyle::kConsole};
  RecordReader reader{in, console};
};

// Counts the flushes that reach the console stream.
class FlushCounter : public std::stringbuf {
 public:
  int flushes = 0;

 protected:
  int sync() override {
    ++flushes;
    return 0;
  }
};

TEST(ReaderFlush, EveryReadFlushesTheOpenPrompt) {
  FlushCounter buffer;
  std::ostream consoleOut(&buffer);
  RecordWriter console(consoleOut, StreamStyle::kConsole);
  std::istringstream in("0.5\n7\n");
  RecordReader reader(in, console);
  console.format("(A25\\)", "  Introducir valor de L: ");
  EXPECT_EQ(buffer.flushes, 0);
  EXPECT_EQ(reader.readListReal(), 0.5);
  EXPECT_EQ(buffer.flushes, 1);
  EXPECT_EQ(buffer.str(), "  Introducir valor de L: ");
  EXPECT_EQ(reader.readFieldInt16(3), 7);
  EXPECT_EQ(buffer.flushes, 2);
}

TEST_F(ReaderTest, FieldIntegers) {
  // Only the field's columns count, blanks anywhere are ignored, an empty line
  // is all blank, and the last line may lack its line end.
  RecordReader& r = readerOf("   12\n1234567\n\n 1 2\n-  7\n+3\r\n  -5");
  for (int expected : {12, 12345, 0, 12, -7, 3, -5}) EXPECT_EQ(r.readFieldInt32(5), expected);
  EXPECT_THROW(r.readFieldInt16(5), InputError);
}

TEST_F(ReaderTest, LettersTakeTheFirstCharacter) {
  RecordReader& r = readerOf("yes\n\n a\r\nN");
  EXPECT_EQ(r.readLetter(), 'y');
  EXPECT_EQ(r.readLetter(), ' ');
  EXPECT_EQ(r.readLetter(), ' ');
  EXPECT_EQ(r.readLetter(), 'N');
  EXPECT_THROW(r.readLetter(), InputError);
}

TEST_F(ReaderTest, ListIntegersSkipBlankLinesAndDropTheRest) {
  RecordReader& r = readerOf("\n  \t \n 7 8\n-3,4\n+12\t\n30000 x\r\n");
  EXPECT_EQ(r.readListInt32(), 7);
  EXPECT_EQ(r.readListInt32(), -3);
  EXPECT_EQ(r.readListInt16(), 12);
  EXPECT_EQ(r.readListInt16(), 30000);
  EXPECT_THROW(r.readListInt16(), InputError);
}

TEST_F(ReaderTest, ListRealsInFortranForms) {
  RecordReader& r =
      readerOf(".5\n5.\n5e-1\n5E-1\n5d-1\n5D-1\n1\n+.5\n-2.5D+3\n0,5\n1.5-3\n 0.25 x");
  for (double expected : {0.5, 5.0, 0.5, 0.5, 0.5, 0.5, 1.0, 0.5, -2500.0, 0.0, 1.5e-3, 0.25}) {
    EXPECT_EQ(r.readListReal(), expected);
  }
  EXPECT_THROW(r.readListReal(), InputError);
}

TEST_F(ReaderTest, CommaBeforeAnyValueIsANullValueThatKeepsThePreviousValue) {
  // A leading comma, with or without blanks before it and text after it, after
  // a blank line too; a value before a comma is still read.
  RecordReader& r = readerOf(",\n  ,5\n\n\t, 7\n,x\n3,\n ,\n");
  EXPECT_EQ(r.readListInt32(41), 41);
  EXPECT_EQ(r.readListInt16(-3), -3);
  EXPECT_EQ(r.readListReal(0.25), 0.25);
  EXPECT_EQ(r.readListReal(9.0), 9.0);
  EXPECT_EQ(r.readListInt32(41), 3);
  EXPECT_EQ(r.readListInt32(2147483647), 2147483647);
}

TEST_F(ReaderTest, RealsBelowTheSmallestEightByteRealHaveNoValueAndZeroHasNoSign) {
  // The smallest positive 8-byte real is about 4.94e-324; 3e-324 is nearer to
  // it than to 0.
  RecordReader& r = readerOf("1e-400\n-2.5D-330\n0.000001e-318\n3e-324\n1e-310\n");
  for (int k = 0; k < 3; ++k) EXPECT_FALSE(r.readListReal().has_value()) << k;
  EXPECT_EQ(r.readListReal(), std::numeric_limits<double>::denorm_min());
  EXPECT_EQ(r.readListReal(), 1e-310);
  // Zero in any form is +0, the sign of "-0" dropped; zero digits with any
  // exponent are no underflow.
  RecordReader& zeros = readerOf("-0\n-0.0d0\n0e-999\n-.000e-500\n");
  for (int k = 0; k < 4; ++k) {
    const std::optional<double> value = zeros.readListReal();
    ASSERT_TRUE(value.has_value()) << k;
    EXPECT_EQ(*value, 0.0) << k;
    EXPECT_FALSE(std::signbit(*value)) << k;
  }
}

TEST_F(ReaderTest, MalformedOrOutOfRangeValuesEndTheRun) {
  // Field integers (8 columns), list integers, list reals.
  for (const char* line : {"12a\n", "1.5\n", "-\n", "+-3\n", "3-\n", "0x10\n", "2147483648\n",
                           "99999999999999999999999\n"}) {
    EXPECT_THROW(readerOf(line).readFieldInt32(30), InputError) << line;
  }
  for (const char* line :
       {"1.0\n", "abc\n", "-\n", "5e2\n", "3*4\n", "12x\n", "2147483648\n", "\n \n"}) {
    EXPECT_THROW(readerOf(line).readListInt32(), InputError) << line;
  }
  for (const char* line : {".\n", "e5\n", "5e\n", "5e+\n", "1.2.3\n", "inf\n", "nan\n", "0x1p3\n",
                           "5f\n", "--1\n", "1e999\n", "-1d400\n"}) {
    EXPECT_THROW(readerOf(line).readListReal(), InputError) << line;
  }
  // The 2-byte range.
  EXPECT_EQ(readerOf("32767\n").readFieldInt16(8), 32767);
  EXPECT_EQ(readerOf("-32768\n").readFieldInt16(8), -32768);
  EXPECT_EQ(readerOf("-2147483648\n").readFieldInt32(12), -2147483647 - 1);
  EXPECT_THROW(readerOf("32768\n").readFieldInt16(8), InputError);
  EXPECT_THROW(readerOf("-32769\n").readFieldInt16(8), InputError);
  EXPECT_THROW(readerOf("32768\n").readListInt16(), InputError);
}

TEST_F(ReaderTest, SkipLineConsumesOneLineOfAnyContent) {
  RecordReader& r = readerOf("anything, 12\n\n7\n");
  r.skipLine();
  r.skipLine();
  EXPECT_EQ(r.readListInt32(), 7);
  EXPECT_THROW(r.skipLine(), InputError);
}

// An answer line of `length` bytes, then "\n7\n", made up as it is read, with
// a count of the bytes taken from it.
class LongLineSource : public std::streambuf {
 public:
  explicit LongLineSource(std::size_t length) : length_(length) {}
  std::size_t taken() const { return taken_; }

 protected:
  int_type underflow() override {
    const std::size_t total = length_ + 3;
    if (taken_ == total) return traits_type::eof();
    const std::size_t at = taken_;
    if (at < length_) {
      chunk_.assign(std::min<std::size_t>(sizeof block_, length_ - at), 'a');
    } else {
      chunk_ = std::string("\n7\n").substr(at - length_);
    }
    std::copy(chunk_.begin(), chunk_.end(), block_);
    setg(block_, block_, block_ + chunk_.size());
    taken_ += chunk_.size();
    return traits_type::to_int_type(block_[0]);
  }

 private:
  std::size_t length_;
  std::size_t taken_ = 0;
  std::string chunk_;
  char block_[4096];
};

TEST(ReaderLineLimit, LinesUpToOneMebibyteAreReadLongerOnesRefusedUnread) {
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  std::ostringstream consoleOut;
  RecordWriter console(consoleOut, StreamStyle::kConsole);
  // A line of exactly the limit, with CR LF, is read and so is the next one;
  // one byte more is refused.
  std::istringstream exactLines(std::string(kMiB - 1, ' ') + "5\r\n7\n");
  RecordReader exact(exactLines, console);
  EXPECT_EQ(exact.readListInt32(), 5);
  EXPECT_EQ(exact.readListInt32(), 7);
  std::istringstream overLines(std::string(kMiB, ' ') + "5\r\n7\n");
  EXPECT_THROW(RecordReader(overLines, console).readListInt32(), InputError);
  // 64 MiB without a line end: refused once the limit is passed, the rest of
  // the line left unread.
  LongLineSource source(64 * kMiB);
  std::istream in(&source);
  RecordReader reader(in, console);
  std::string message;
  try {
    reader.skipLine();
  } catch (const InputError& e) {
    message = e.what();
  }
  EXPECT_EQ(message, "Error de lectura: linea demasiado larga");
  EXPECT_LE(source.taken(), 2 * kMiB);
}

TEST_F(ReaderTest, ErrorMessagesAreOneUnaccentedLine) {
  std::string message;
  try {
    readerOf("").skipLine();
  } catch (const InputError& e) {
    message = e.what();
  }
  EXPECT_EQ(message, "Error de lectura: fin de los datos de entrada");
  try {
    readerOf("x\n").readListInt32();
  } catch (const InputError& e) {
    message = e.what();
  }
  EXPECT_EQ(message, "Error de lectura: se esperaba un numero entero");
}

}  // namespace
}  // namespace rxc
