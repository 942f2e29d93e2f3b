// Number fields against the reference vectors in tests/data, plus the cases
// the vectors leave out (zero and negative zero in list form, non-finite
// values, fields too narrow).
#include "report/number_format.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

namespace rxc {
namespace {

// Formats the value whose bit pattern is `key` under `descriptor`; an empty
// result means the descriptor is unknown.
std::string formatByDescriptor(const std::string& descriptor, const std::string& key) {
  const uint64_t bits = std::stoull(key, nullptr, 16);
  if (descriptor == "E13.6") {
    const float value = std::bit_cast<float>(static_cast<uint32_t>(bits));
    return formatExponent(value, 13, 6, 'E');
  }
  const double value = std::bit_cast<double>(bits);
  if (descriptor == "G24.15E3") return formatListReal(value);
  const char letter = descriptor[0];
  const std::size_t point = descriptor.find('.');
  if ((letter != 'D' && letter != 'E') || point == std::string::npos) return {};
  const int width = std::stoi(descriptor.substr(1, point - 1));
  const int digits = std::stoi(descriptor.substr(point + 1));
  return formatExponent(value, width, digits, letter);
}

// Splits a vector line into its three tab-separated columns.
bool splitLine(const std::string& line, std::string& a, std::string& b, std::string& c) {
  const std::size_t first = line.find('\t');
  const std::size_t second = line.find('\t', first + 1);
  if (first == std::string::npos || second == std::string::npos) return false;
  a = line.substr(0, first);
  b = line.substr(first + 1, second - first - 1);
  c = line.substr(second + 1);
  return true;
}

TEST(NumberFormatVectors, EveryRealFieldMatches) {
  std::ifstream in(RXC_TEST_DATA_DIR "/format_vectors.tsv");
  ASSERT_TRUE(in) << "missing format_vectors.tsv";
  int lines = 0;
  int failures = 0;
  std::ostringstream report;
  for (std::string line; std::getline(in, line);) {
    std::string descriptor, key, expected;
    ASSERT_TRUE(splitLine(line, descriptor, key, expected)) << "malformed line: " << line;
    ++lines;
    const std::string got = formatByDescriptor(descriptor, key);
    if (got != expected && ++failures <= 40) {
      report << descriptor << ' ' << key << " expected [" << expected << "] got [" << got << "]\n";
    }
  }
  EXPECT_GT(lines, 7000);
  EXPECT_EQ(failures, 0) << failures << " of " << lines << " fields differ:\n" << report.str();
}

TEST(NumberFormatVectors, EveryIntegerFieldMatches) {
  std::ifstream in(RXC_TEST_DATA_DIR "/int_vectors.tsv");
  ASSERT_TRUE(in) << "missing int_vectors.tsv";
  int lines = 0;
  int failures = 0;
  std::ostringstream report;
  for (std::string line; std::getline(in, line);) {
    std::string width, value, expected;
    ASSERT_TRUE(splitLine(line, width, value, expected)) << "malformed line: " << line;
    ++lines;
    const std::string got = formatInteger(std::stoll(value), std::stoi(width));
    if (got != expected && ++failures <= 40) {
      report << 'I' << width << ' ' << value << " expected [" << expected << "] got [" << got
             << "]\n";
    }
  }
  EXPECT_GT(lines, 2000);
  EXPECT_EQ(failures, 0) << failures << " of " << lines << " fields differ:\n" << report.str();
}

TEST(NumberFormat, IntegerExtremesAndOverflow) {
  EXPECT_EQ(formatInteger(1234, 3), "***");
  EXPECT_EQ(formatInteger(-12, 3), "-12");
  EXPECT_EQ(formatInteger(-123, 3), "***");
  EXPECT_EQ(formatInteger(std::numeric_limits<int64_t>::min(), 20), "-9223372036854775808");
  EXPECT_EQ(formatInteger(std::numeric_limits<int64_t>::min(), 19), std::string(19, '*'));
}

TEST(NumberFormat, ExponentFieldsFromTheDialogue) {
  EXPECT_EQ(formatExponent(0.5, 21, 14, 'D'), " 0.50000000000000D+00");
  EXPECT_EQ(formatExponent(1.0e-150, 21, 14, 'D'), " 0.10000000000000-149");
  EXPECT_EQ(formatExponent(1.0e150, 21, 14, 'D'), " 0.10000000000000+151");
  EXPECT_EQ(formatExponent(12345.0, 16, 10, 'D'), "0.1234500000D+05");
  EXPECT_EQ(formatExponent(-812.3456789, 16, 10, 'E'), "-.8123456789E+03");
  // A carry out of the last digit raises the exponent.
  EXPECT_EQ(formatExponent(9.9999999999999, 13, 6, 'E'), " 0.100000E+02");
  EXPECT_EQ(formatExponent(0.0, 16, 10, 'D'), "0.0000000000D+00");
  EXPECT_EQ(formatExponent(-0.0, 21, 14, 'D'), "-0.00000000000000D+00");
  // No room even without the leading zero.
  EXPECT_EQ(formatExponent(-0.5, 15, 10, 'D'), std::string(15, '*'));
}

TEST(NumberFormat, ListFormOfZero) {
  EXPECT_EQ(formatListReal(0.0), "   0.00000000000000     ");
  EXPECT_EQ(formatListReal(-0.0), "  -0.00000000000000     ");
  EXPECT_EQ(formatListReal(0.5), "  0.500000000000000     ");
}

TEST(NumberFormat, NonFiniteValuesAreNamed) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(formatListReal(inf), std::string(16, ' ') + "Infinity");
  EXPECT_EQ(formatListReal(-inf), std::string(15, ' ') + "-Infinity");
  EXPECT_EQ(formatListReal(nan), std::string(21, ' ') + "NaN");
  EXPECT_EQ(formatExponent(inf, 16, 10, 'D'), "        Infinity");
  EXPECT_EQ(formatExponent(-inf, 8, 1, 'D'), "********");
  EXPECT_EQ(formatExponent(nan, 13, 6, 'E'), "          NaN");
}

TEST(NumberFormat, ListFormOfFourByteReals) {
  EXPECT_EQ(formatListReal4(2.5f), "   2.500000    ");
  EXPECT_EQ(formatListReal4(17.690639f), "   17.69064    ");
  EXPECT_EQ(formatListReal4(1.0e20f), "  0.1000000E+21");
}

}  // namespace
}  // namespace rxc
