#include "records/text_encoding.h"

#include <array>

namespace rxc {
namespace {

constexpr char32_t kMalformed = 0xFFFFFFFF;

struct Decoded {
  char32_t codePoint;
  std::size_t length;
};

// Decodes the code point at `pos`. A malformed or truncated sequence yields
// kMalformed for its first byte only, so decoding always moves forward.
Decoded decodeAt(std::string_view text, std::size_t pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80) return {lead, 1};
  std::size_t length;
  char32_t codePoint;
  char32_t minimum;
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    codePoint = lead & 0x1F;
    minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    codePoint = lead & 0x0F;
    minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    codePoint = lead & 0x07;
    minimum = 0x10000;
  } else {
    return {kMalformed, 1};
  }
  if (pos + length > text.size()) return {kMalformed, 1};
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[pos + i]);
    if ((next & 0xC0) != 0x80) return {kMalformed, 1};
    codePoint = (codePoint << 6) | (next & 0x3F);
  }
  // Overlong forms, surrogates and values beyond Unicode are not text.
  if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
    return {kMalformed, 1};
  }
  return {codePoint, length};
}

// Code points of Windows-1252 bytes 0x80..0x9F; 0 marks the five unused bytes.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char toCp1252(char32_t codePoint) {
  // Latin-1 positions coincide with Windows-1252 outside 0x80..0x9F.
  if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) {
    return static_cast<char>(codePoint);
  }
  for (std::size_t i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] != 0 && kHighControls[i] == codePoint) {
      return static_cast<char>(0x80 + i);
    }
  }
  return '?';
}

}  // namespace

std::string utf8ToCp1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const Decoded d = decodeAt(text, pos);
    out.push_back(d.codePoint == kMalformed ? '?' : toCp1252(d.codePoint));
    pos += d.length;
  }
  return out;
}

int columnCount(std::string_view text) {
  int columns = 0;
  for (std::size_t pos = 0; pos < text.size(); pos += decodeAt(text, pos).length) ++columns;
  return columns;
}

std::size_t columnPrefixBytes(std::string_view text, int columns) {
  std::size_t pos = 0;
  for (int i = 0; i < columns && pos < text.size(); ++i) pos += decodeAt(text, pos).length;
  return pos;
}

std::string withoutAccents(std::string_view text) {
  // The plain letter of each of U+00C0 .. U+00FF; '?' for the signs among them.
  constexpr std::string_view kPlain =
      "AAAAAAACEEEEIIIIDNOOOOO?OUUUUY?saaaaaaaceeeeiiiidnooooo?ouuuuy?y";
  std::string out;
  for (std::size_t pos = 0; pos < text.size();) {
    const Decoded d = decodeAt(text, pos);
    pos += d.length;
    if (d.codePoint < 0x80) {
      out += static_cast<char>(d.codePoint);
    } else if (d.codePoint >= 0xC0 && d.codePoint <= 0xFF) {
      out += kPlain[d.codePoint - 0xC0];
    } else {
      out += '?';
    }
  }
  return out;
}

}  // namespace rxc
