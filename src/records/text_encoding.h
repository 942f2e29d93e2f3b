// The program's texts are UTF-8; the report file is Windows-1252. These helpers
// convert between the two and count record columns, one column per code point,
// so that an accented letter takes one column on the console and in the report.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace rxc {

// Converts UTF-8 text to Windows-1252 bytes. Code points without a Windows-1252
// byte, and malformed UTF-8 bytes, become '?'.
std::string utf8ToCp1252(std::string_view text);

// The text with its accented Latin letters in their plain form (ó -> o,
// Ñ -> N), for lines that must carry no accents; other code points beyond
// ASCII, and malformed bytes, become '?'.
std::string withoutAccents(std::string_view text);

// Number of columns (code points) of UTF-8 text. A malformed byte counts as one
// column, as it becomes one byte in the report.
int columnCount(std::string_view text);

// Byte length of the first `columns` columns of UTF-8 text (all of it when it
// is shorter), so that a text is never cut inside a code point.
std::size_t columnPrefixBytes(std::string_view text, int columns);

}  // namespace rxc
