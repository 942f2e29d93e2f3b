// Number fields against the reference vectors in tests/data, plus the cases
// the vectors leave out (zero and negative zero in list form, non-finite
// values, fields too narrow), and the exponent field of wide values: against
// fields rounded from their exact values by tests/data/wide_reference.py, and
// against the double overload for every value that is a double.
#include "records/number_format.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <functional>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "base/wide_real.h"

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

// Checks every line "a<TAB>b<TAB>expected" of a vector file against format(a, b).
void expectEveryLine(
    const std::string& file, int atLeast,
    const std::function<std::string(const std::string&, const std::string&)>& format) {
  std::ifstream in(RXC_TEST_DATA_DIR "/" + file);
  ASSERT_TRUE(in) << "missing " << file;
  int lines = 0;
  int failures = 0;
  std::ostringstream report;
  for (std::string line; std::getline(in, line); ++lines) {
    const std::size_t first = line.find('\t');
    const std::size_t second = line.find('\t', first + 1);
    ASSERT_NE(second, std::string::npos) << "malformed line: " << line;
    const std::string a = line.substr(0, first), b = line.substr(first + 1, second - first - 1);
    const std::string expected = line.substr(second + 1), got = format(a, b);
    if (got != expected && ++failures <= 40) {
      report << a << ' ' << b << " expected [" << expected << "] got [" << got << "]\n";
    }
  }
  EXPECT_GT(lines, atLeast);
  EXPECT_EQ(failures, 0) << failures << " of " << lines << " fields differ:\n" << report.str();
}

TEST(NumberFormatVectors, EveryRealFieldMatches) {
  expectEveryLine("format_vectors.tsv", 7000, formatByDescriptor);
}

TEST(NumberFormatVectors, EveryIntegerFieldMatches) {
  expectEveryLine("int_vectors.tsv", 2000, [](const std::string& width, const std::string& value) {
    return formatInteger(std::stoll(value), std::stoi(width));
  });
}

TEST(NumberFormat, IntegerExtremesAndOverflow) {
  EXPECT_EQ(formatInteger(1234, 3), "***");
  EXPECT_EQ(formatInteger(-12, 3), "-12");
  EXPECT_EQ(formatInteger(-123, 3), "***");
  EXPECT_EQ(formatInteger(std::numeric_limits<int64_t>::min(), 20), "-9223372036854775808");
  EXPECT_EQ(formatInteger(std::numeric_limits<int64_t>::min(), 19), std::string(19, '*'));
}

TEST(NumberFormat, ExponentFieldsTheVectorsLeaveOut) {
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
  EXPECT_EQ(formatListReal(inf), std::string(16, ' ').append("Infinity"));
  EXPECT_EQ(formatListReal(-inf), std::string(15, ' ').append("-Infinity"));
  EXPECT_EQ(formatListReal(nan), std::string(21, ' ').append("NaN"));
  EXPECT_EQ(formatExponent(inf, 16, 10, 'D'), "        Infinity");
  EXPECT_EQ(formatExponent(-inf, 8, 1, 'D'), "********");
  EXPECT_EQ(formatExponent(nan, 13, 6, 'E'), "          NaN");
}

TEST(NumberFormat, ListFormOfFourByteReals) {
  EXPECT_EQ(formatListReal4(2.5f), "   2.500000    ");
  EXPECT_EQ(formatListReal4(17.690639f), "   17.69064    ");
  EXPECT_EQ(formatListReal4(1.0e20f), "  0.1000000E+21");
}

// "D20.14" as its letter, width and digits.
struct Descriptor {
  char letter;
  int width;
  int digits;
};
Descriptor parseDescriptor(const std::string& text) {
  const std::size_t point = text.find('.');
  return {text[0], std::stoi(text.substr(1, point - 1)), std::stoi(text.substr(point + 1))};
}

TEST(NumberFormatWide, FieldsRoundedFromTheExactValue) {
  std::ifstream in(RXC_TEST_DATA_DIR "/wide_fields.tsv");
  ASSERT_TRUE(in);
  int lines = 0;
  for (std::string line; std::getline(in, line); ++lines) {
    std::vector<std::string> f;
    std::istringstream split(line);
    for (std::string field; std::getline(split, field, '\t');) f.push_back(field);
    ASSERT_EQ(f.size(), 5u) << line;
    const Descriptor d = parseDescriptor(f[0]);
    const WideReal value{{std::strtod(f[1].c_str(), nullptr), std::strtod(f[2].c_str(), nullptr)},
                         std::stoll(f[3])};
    EXPECT_EQ(formatExponent(value, d.width, d.digits, d.letter), f[4]) << line;
  }
  EXPECT_GT(lines, 1000);
}

// Every nonzero double of the reference vectors, and random doubles
// (subnormals among them) under several descriptors, as wide values.
TEST(NumberFormatWide, AValueThatIsADoubleGivesTheDoubleField) {
  std::ifstream in(RXC_TEST_DATA_DIR "/format_vectors.tsv");
  ASSERT_TRUE(in);
  int checked = 0;
  for (std::string line; std::getline(in, line);) {
    std::istringstream split(line);
    std::string descriptor, key, expected;
    std::getline(split, descriptor, '\t');
    std::getline(split, key, '\t');
    std::getline(split, expected);
    if (descriptor[0] == 'G') continue;
    const uint64_t bits = std::stoull(key, nullptr, 16);
    const double value =
        descriptor == "E13.6"
            ? static_cast<double>(std::bit_cast<float>(static_cast<uint32_t>(bits)))
            : std::bit_cast<double>(bits);
    if (value == 0.0 && std::signbit(value)) continue;  // a wide zero has no sign
    const Descriptor d = parseDescriptor(descriptor);
    ASSERT_EQ(formatExponent(toWide(value), d.width, d.digits, d.letter), expected) << line;
    ++checked;
  }
  EXPECT_GT(checked, 5000);

  std::mt19937_64 rng(29);
  const Descriptor descriptors[] = {{'D', 20, 14}, {'D', 21, 14}, {'E', 16, 10}, {'D', 30, 20},
                                    {'D', 8, 1},   {'E', 9, 3},   {'D', 12, 17}};
  for (int i = 0; i < 4000; ++i) {
    uint64_t bits = rng();
    if (i % 3 == 0) bits &= ~(uint64_t{0x7ff} << 52);
    const double value = std::bit_cast<double>(bits);
    if (!std::isfinite(value) || value == 0.0) continue;
    for (const Descriptor& d : descriptors) {
      ASSERT_EQ(formatExponent(toWide(value), d.width, d.digits, d.letter),
                formatExponent(value, d.width, d.digits, d.letter))
          << std::hexfloat << value << ' ' << d.letter << d.width << '.' << d.digits;
    }
  }
}

TEST(NumberFormatWide, ZerosNonFiniteValuesAndExponentsBeyondThreeDigits) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(formatExponent(WideReal{}, 20, 14, 'D'), "0.00000000000000D+00");
  EXPECT_EQ(formatExponent(WideReal{{inf, 0.0}, 0}, 16, 10, 'D'), "        Infinity");
  EXPECT_EQ(formatExponent(toWide(0.25), 20, 0, 'D'), std::string(20, '*'));
  // 2^3320 is 0.26...E+1000 and 2^-3325 is 0.12...E-1000: no room for the
  // exponent; nor far beyond, where no digit is worked out.
  EXPECT_EQ(formatExponent(toWide({1.0, 0.0}, 3320), 20, 14, 'D'), std::string(20, '*'));
  EXPECT_EQ(formatExponent(toWide({1.0, 0.0}, -3325), 20, 14, 'D'), std::string(20, '*'));
  EXPECT_EQ(formatExponent(toWide({1.0, 0.0}, int64_t{1} << 60), 20, 14, 'D'),
            std::string(20, '*'));
  EXPECT_EQ(formatExponent(toWide({1.0, 0.0}, -(int64_t{1} << 60)), 20, 14, 'D'),
            std::string(20, '*'));
  // 2^3300 is 0.2506...E+994, 2^-3300 is 0.3990...E-993.
  EXPECT_EQ(formatExponent(toWide({1.0, 0.0}, 3300), 20, 14, 'D'), "0.25060266846773+994");
  EXPECT_EQ(formatExponent(toWide({1.0, 0.0}, -3300), 20, 14, 'D'), "0.39903804940080-993");
}

}  // namespace
}  // namespace rxc
