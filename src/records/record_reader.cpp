#include "records/record_reader.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string_view>

#include "records/input_error.h"

namespace rxc {
namespace {

// The messages end the run on the console; they carry no accented letters.
constexpr const char* kEndOfInput = "Error de lectura: fin de los datos de entrada";
constexpr const char* kLineTooLong = "Error de lectura: linea demasiado larga";
constexpr const char* kNotInteger = "Error de lectura: se esperaba un numero entero";
constexpr const char* kNotReal = "Error de lectura: se esperaba un numero real";
constexpr const char* kIntegerRange = "Error de lectura: numero entero fuera de rango";
constexpr const char* kRealRange = "Error de lectura: numero real fuera de rango";

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// An optional sign followed by digits only, within [low, high].
int64_t parseInteger(std::string_view text, int64_t low, int64_t high) {
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) throw InputError(kNotInteger);
  // Accumulated as a negative number, whose range holds every 8-byte value.
  int64_t value = 0;
  bool overflow = false;
  for (char c : text) {
    if (!isDigit(c)) throw InputError(kNotInteger);
    const int digit = c - '0';
    if (value < (std::numeric_limits<int64_t>::min() + digit) / 10) overflow = true;
    if (!overflow) value = value * 10 - digit;
  }
  if (!negative) {
    if (overflow || value == std::numeric_limits<int64_t>::min()) throw InputError(kIntegerRange);
    value = -value;
  }
  if (overflow || value < low || value > high) throw InputError(kIntegerRange);
  return value;
}

// Checks the Fortran forms of a real: sign, digits with at most one point and
// at least one digit, then an optional exponent written with E or D, or with
// a sign alone ("1.5-3"). Returns the text in the form strtod reads, or an
// empty string when the text is no such number.
std::string normaliseReal(std::string_view text) {
  std::string out;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) out += text[i++];
  int mantissaDigits = 0;
  bool point = false;
  for (; i < text.size(); ++i) {
    if (isDigit(text[i])) {
      ++mantissaDigits;
    } else if (text[i] == '.' && !point) {
      point = true;
    } else {
      break;
    }
    out += text[i];
  }
  if (mantissaDigits == 0) return {};
  if (i == text.size()) return out;
  const char mark = text[i];
  if (mark == 'e' || mark == 'E' || mark == 'd' || mark == 'D') {
    ++i;
  } else if (mark != '+' && mark != '-') {
    return {};
  }
  out += 'e';
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) out += text[i++];
  if (i == text.size()) return {};
  for (; i < text.size(); ++i) {
    if (!isDigit(text[i])) return {};
    out += text[i];
  }
  return out;
}

// Whether the mantissa of a number in strtod form has a digit other than 0.
bool hasNonZeroDigit(std::string_view number) {
  for (char c : number) {
    if (c == 'e') break;
    if (c >= '1' && c <= '9') return true;
  }
  return false;
}

// Consumes a UTF-8 byte-order mark at the input's start. Returns the bytes of
// a partial one, read before the first that differs: the line's own start.
std::string consumeByteOrderMark(std::streambuf& in) {
  using Traits = std::streambuf::traits_type;
  constexpr std::string_view kMark = "\xEF\xBB\xBF";
  std::string taken;
  for (char expected : kMark) {
    const Traits::int_type next = in.sgetc();
    if (Traits::eq_int_type(next, Traits::eof()) || Traits::to_char_type(next) != expected) {
      return taken;
    }
    taken += expected;
    in.sbumpc();
  }
  return {};
}

}  // namespace

RecordReader::RecordReader(std::istream& in, RecordWriter& console) : in_(in), console_(console) {}

std::string RecordReader::readLine() {
  console_.flush();
  // Byte by byte from the stream's buffer, so that a line past the limit is
  // refused as soon as it gets there and is never held whole.
  std::streambuf& in = *in_.rdbuf();
  using Traits = std::streambuf::traits_type;
  std::string line;
  if (!started_) {
    started_ = true;
    line = consumeByteOrderMark(in);
  }
  bool anything = !line.empty();
  for (;;) {
    const Traits::int_type next = in.sbumpc();
    if (Traits::eq_int_type(next, Traits::eof())) {
      // A last line without a line end still counts; only no line at all is
      // the end.
      if (!anything) throw InputError(kEndOfInput);
      break;
    }
    anything = true;
    const char c = Traits::to_char_type(next);
    if (c == '\n') break;
    // One byte more than the limit is allowed for the CR of a CR LF line end.
    if (line.size() > kMaxLineBytes) throw InputError(kLineTooLong);
    line += c;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.size() > kMaxLineBytes) throw InputError(kLineTooLong);
  return line;
}

int16_t RecordReader::readFieldInt16(int width) {
  return static_cast<int16_t>(readFieldInt32(width, std::numeric_limits<int16_t>::min(),
                                             std::numeric_limits<int16_t>::max()));
}

int32_t RecordReader::readFieldInt32(int width) {
  return readFieldInt32(width, std::numeric_limits<int32_t>::min(),
                        std::numeric_limits<int32_t>::max());
}

int32_t RecordReader::readFieldInt32(int width, int32_t low, int32_t high) {
  const std::string line = readLine();
  std::string field;
  // Blanks anywhere in the field are ignored; beyond the line it is all blank.
  for (char c : std::string_view(line).substr(0, width)) {
    if (!isBlank(c)) field += c;
  }
  if (field.empty()) return 0;
  return static_cast<int32_t>(parseInteger(field, low, high));
}

char RecordReader::readLetter() {
  const std::string line = readLine();
  return line.empty() ? ' ' : line[0];
}

std::optional<std::string> RecordReader::readListToken() {
  std::string line;
  std::size_t start = 0;
  do {
    line = readLine();
    start = 0;
    while (start < line.size() && isBlank(line[start])) ++start;
  } while (start == line.size());
  // A comma before any value is a null value: the variable keeps its value.
  if (line[start] == ',') return std::nullopt;
  std::size_t end = start;
  while (end < line.size() && !isBlank(line[end]) && line[end] != ',') ++end;
  return line.substr(start, end - start);
}

int16_t RecordReader::readListInt16(int16_t previous) {
  const std::optional<std::string> token = readListToken();
  if (!token) return previous;
  return static_cast<int16_t>(parseInteger(*token, std::numeric_limits<int16_t>::min(),
                                           std::numeric_limits<int16_t>::max()));
}

int32_t RecordReader::readListInt32(int32_t previous) {
  const std::optional<std::string> token = readListToken();
  if (!token) return previous;
  return static_cast<int32_t>(parseInteger(*token, std::numeric_limits<int32_t>::min(),
                                           std::numeric_limits<int32_t>::max()));
}

std::optional<double> RecordReader::readListReal(double previous) {
  const std::optional<std::string> token = readListToken();
  if (!token) return previous;
  const std::string number = normaliseReal(*token);
  if (number.empty()) throw InputError(kNotReal);
  const double value = std::strtod(number.c_str(), nullptr);
  // Overflow has no value at all.
  if (std::isinf(value)) throw InputError(kRealRange);
  if (value == 0.0) {
    // A number whose nearest 8-byte real is 0 although a digit of it is not:
    // reading it as 0 would turn a bound below every table into one that no
    // table meets. A zero typed as zero is 0, without the sign of "-0".
    if (hasNonZeroDigit(number)) return std::nullopt;
    return 0.0;
  }
  return value;
}

void RecordReader::skipLine() { readLine(); }

}  // namespace rxc
