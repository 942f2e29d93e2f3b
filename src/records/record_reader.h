// Console reads: formatted reads of one line (Iw, A1) and list-directed reads
// of one value. Every read flushes the console first, so that a prompt left
// open is visible before the user types. Malformed input, a line longer than
// kMaxLineBytes and end of input throw InputError; nothing is ever re-read in a
// loop here. A UTF-8 byte-order mark at the very start of the input (an
// answers file saved by a Windows editor) is skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>

#include "records/record_writer.h"

namespace rxc {

class RecordReader {
 public:
  // Longest line a read accepts, line end excluded; a longer one ends the run
  // without being read into memory.
  static constexpr std::size_t kMaxLineBytes = std::size_t{1} << 20;

  RecordReader(std::istream& in, RecordWriter& console);

  // "(Iw)": one line; its first `width` characters are the field (a shorter line
  // counts as padded with blanks; blanks are ignored; an all-blank field is 0).
  // The value must fit the destination type (int16_t or int32_t).
  int16_t readFieldInt16(int width);
  int32_t readFieldInt32(int width);

  // "(A1)": the first character of one line; an empty line gives a blank.
  char readLetter();

  // List-directed reads of one value: blank lines are skipped; the value ends at
  // a blank, a comma or the line end; the rest of the line is dropped. A line
  // whose first non-blank character is a comma holds a null value: the read
  // returns `previous`, the value the variable had.
  int16_t readListInt16(int16_t previous = 0);
  int32_t readListInt32(int32_t previous = 0);
  // Fortran forms: ".5", "5e-1", "5d-1", "1", "-2.5D+3". A zero is read as
  // +0 whatever its sign. None for a number that is not zero but too small
  // for an 8-byte real (it would read as 0): the caller treats it as out of
  // range.
  std::optional<double> readListReal(double previous = 0.0);

  // A list-directed read with no items: consumes one line, content ignored.
  void skipLine();

 private:
  // One line without its line end; InputError at the end of the input.
  std::string readLine();
  int32_t readFieldInt32(int width, int32_t low, int32_t high);
  // The next list-directed value: its text up to a blank, comma or line end;
  // none for a null value.
  std::optional<std::string> readListToken();

  std::istream& in_;
  RecordWriter& console_;
  bool started_ = false;  // the first line was read: no byte-order mark after it
};

}  // namespace rxc
