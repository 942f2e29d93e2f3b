// Text records: the one layer through which every console line and report line
// is written. Two modes: list-directed statements (leading blank, 80-column
// records) and formatted statements driven by an edit pattern such as
// "(A18,I3,A3\)". A trailing backslash in a pattern leaves the record open.
#pragma once

#include <initializer_list>
#include <ostream>
#include <string>
#include <string_view>
#include <type_traits>

#include "records/edit_pattern.h"
#include "records/record_item.h"

namespace rxc {

// How finished records reach the stream: the console takes UTF-8 and "\n", the
// report takes Windows-1252 bytes and CR LF. The program's texts are UTF-8;
// this is the only place where they are converted.
enum class StreamStyle { kConsole, kReport };

class RecordWriter {
 public:
  RecordWriter(std::ostream& out, StreamStyle style);

  // List-directed statement. With no items it writes an empty record, or only
  // ends a record left open by an earlier statement.
  void list(std::initializer_list<Item> items = {});

  // Formatted statement: `pattern` is an edit pattern in the usual parenthesised
  // notation, for example "(A18,I3,A3\\)" or "(/,4X,A43,D21.14)", checked
  // against the items when the program is built (edit_pattern.h). A pattern
  // of "(1X)" alone writes an empty record, or only ends a record left open.
  template <class... Items>
  void format(PatternFor<std::type_identity_t<Items>...> pattern, const Items&... items) {
    formatItems(pattern.pattern(), {Item(items)...});
  }

  // True while a record is open (after a pattern ending in a backslash).
  bool recordOpen() const { return open_; }

  // Passes everything written so far, an open record included, to the stream
  // and flushes the stream.
  void flush();

 private:
  void emit(std::string_view text);  // appends to the current record
  void endRecord();
  int columns() const;  // columns of the current record (code points)

  void placeListItem(std::string_view text, bool separated);
  void formatItems(const EditPattern& edits, std::initializer_list<Item> items);
  std::string field(const EditItem& edit, const Item& item) const;
  void writePending();  // passes the open record's new text to the stream

  std::ostream& out_;
  StreamStyle style_;
  std::string record_;  // current record, UTF-8, not yet passed to the stream
  bool open_ = false;   // a record is in progress
  int columns_ = 0;     // columns of the current record, passed on or not
  int skip_ = 0;        // columns moved over by nX, blank once output follows
};

}  // namespace rxc
