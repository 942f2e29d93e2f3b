#include "records/record_writer.h"

#include <algorithm>
#include <stdexcept>

#include "records/number_format.h"
#include "records/text_encoding.h"

namespace rxc {
namespace {

constexpr int kListRecordLength = 80;

bool isNumeric(const Item& item) { return item.kind() != Item::Kind::kText; }

// List-directed form of a numeric item. Integers take 12 columns, enough for
// any 4-byte value with a separating blank.
std::string listField(const Item& item) {
  switch (item.kind()) {
    case Item::Kind::kInteger: {
      const std::string digits = formatInteger(item.integer(), 0);
      const int width = std::max(12, static_cast<int>(digits.size()) + 1);
      return formatInteger(item.integer(), width);
    }
    case Item::Kind::kReal8:
      return formatListReal(item.real());
    case Item::Kind::kReal4:
      return formatListReal4(static_cast<float>(item.real()));
    case Item::Kind::kText:
      break;
  }
  return std::string(item.text());
}

}  // namespace

RecordWriter::RecordWriter(std::ostream& out, StreamStyle style) : out_(out), style_(style) {}

void RecordWriter::list(std::initializer_list<Item> items) {
  if (items.size() != 0) {
    emit(" ");  // the leading blank, also when continuing an open record
    bool afterNumber = false;
    for (const Item& item : items) {
      placeListItem(listField(item), afterNumber && !isNumeric(item));
      afterNumber = isNumeric(item);
    }
  }
  // With no items this writes an empty record, or ends the open one.
  endRecord();
}

void RecordWriter::placeListItem(std::string_view text, bool separated) {
  const int length = columnCount(text) + (separated ? 1 : 0);
  if (columns() + length > kListRecordLength && columns() > 1) {
    endRecord();
    emit(" ");
    separated = false;  // the new record's leading blank separates already
  }
  if (separated) emit(" ");
  // Only an item longer than a whole record gets here without room.
  while (columns() + columnCount(text) > kListRecordLength) {
    const std::size_t bytes = columnPrefixBytes(text, kListRecordLength - columns());
    emit(text.substr(0, bytes));
    text.remove_prefix(bytes);
    endRecord();
    emit(" ");
  }
  emit(text);
}

void RecordWriter::formatItems(const EditPattern& edits, std::initializer_list<Item> items) {
  // The items match the pattern's data edit items one to one (checked when
  // the program is built).
  open_ = true;  // a new record, or the one left open
  const Item* next = items.begin();
  for (int k = 0; k < edits.size; ++k) {
    const EditItem& edit = edits.items[k];
    switch (edit.kind) {
      case EditItem::Kind::kSkip:
        skip_ += edit.width;
        break;
      case EditItem::Kind::kNewRecord:
        endRecord();
        open_ = true;
        break;
      default:
        emit(field(edit, *next++));
        break;
    }
  }
  if (edits.keepOpen) {
    writePending();
  } else {
    endRecord();
  }
}

std::string RecordWriter::field(const EditItem& edit, const Item& item) const {
  using Kind = Item::Kind;
  switch (edit.kind) {
    case EditItem::Kind::kText:
      if (item.kind() == Kind::kText) {
        const std::string_view text = item.text();
        if (edit.width == 0) return std::string(text);
        const int length = columnCount(text);
        if (length < edit.width) return std::string(edit.width - length, ' ').append(text);
        return std::string(text.substr(0, columnPrefixBytes(text, edit.width)));
      }
      break;
    case EditItem::Kind::kInteger:
      if (item.kind() == Kind::kInteger) {
        return formatInteger(item.integer(), edit.width == 0 ? item.width() : edit.width);
      }
      break;
    case EditItem::Kind::kExponent:
      if (item.kind() == Kind::kReal8 || item.kind() == Kind::kReal4) {
        return formatExponent(item.real(), edit.width, edit.digits, edit.letter);
      }
      break;
    default:
      break;
  }
  throw std::invalid_argument("item does not match its edit item");
}

void RecordWriter::emit(std::string_view text) {
  if (text.empty()) return;
  // Columns moved over by nX become blanks only once output follows them.
  record_.append(skip_, ' ');
  columns_ += skip_;
  skip_ = 0;
  record_.append(text);
  columns_ += columnCount(text);
  open_ = true;
}

void RecordWriter::endRecord() {
  record_.append(style_ == StreamStyle::kReport ? "\r\n" : "\n");
  writePending();
  columns_ = 0;
  skip_ = 0;
  open_ = false;
}

int RecordWriter::columns() const { return columns_; }

void RecordWriter::writePending() {
  if (record_.empty()) return;
  if (style_ == StreamStyle::kReport) {
    out_ << utf8ToCp1252(record_);
  } else {
    out_ << record_;
  }
  record_.clear();
}

void RecordWriter::flush() {
  writePending();
  out_.flush();
}

}  // namespace rxc
