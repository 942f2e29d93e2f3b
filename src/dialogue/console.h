// The console of a run: records written to the user and answers read back.
// Every read flushes what was written first, so a prompt left open is seen.
#pragma once

#include <istream>
#include <ostream>

#include "records/record_reader.h"
#include "records/record_writer.h"

namespace rxc {

class Console {
 public:
  Console(std::istream& in, std::ostream& out)
      : writer_(out, StreamStyle::kConsole), reader_(in, writer_) {}
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  RecordWriter& out() { return writer_; }
  RecordReader& in() { return reader_; }

  // Empty list-directed records.
  void blankLines(int count) {
    for (int k = 0; k < count; ++k) writer_.list();
  }

 private:
  RecordWriter writer_;
  RecordReader reader_;
};

}  // namespace rxc
