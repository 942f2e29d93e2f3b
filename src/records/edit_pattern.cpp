#include "records/edit_pattern.h"

#include <cctype>
#include <stdexcept>
#include <string>

namespace rxc {
namespace {

class Parser {
 public:
  explicit Parser(std::string_view pattern) : text_(pattern) {}

  EditPattern parse() {
    expect('(');
    enum class Last { kStart, kComma, kSlash, kItem };
    Last last = Last::kStart;
    while (peek() != ')') {
      if (peek() == '\0') fail("missing ')'");
      if (result_.keepOpen) fail("the backslash must be the last item");
      if (peek() == ',') {
        if (last == Last::kStart || last == Last::kComma) fail("empty item");
        ++pos_;
        last = Last::kComma;
        continue;
      }
      // Slashes and the backslash delimit themselves; other items need commas.
      const char next = peekItem();
      if (last == Last::kItem && next != '/' && next != '\\') fail("missing comma");
      parseItem();
      last = next == '/' ? Last::kSlash : Last::kItem;
    }
    if (last == Last::kComma) fail("comma before ')'");
    ++pos_;
    if (peek() != '\0') fail("text after the closing parenthesis");
    return std::move(result_);
  }

 private:
  // Next character that is not a blank; '\0' at the end.
  char peek() {
    while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
    return pos_ < text_.size() ? text_[pos_] : '\0';
  }

  // The character after an optional repeat count, without consuming anything.
  char peekItem() {
    std::size_t at = pos_;
    peek();
    while (pos_ < text_.size() &&
           (std::isdigit(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == ' ')) {
      ++pos_;
    }
    const char c = peek();
    pos_ = at;
    return c;
  }

  void expect(char c) {
    if (peek() != c) fail(std::string("expected '") + c + "'");
    ++pos_;
  }

  // An unsigned number, or -1 when none stands here.
  int number() {
    if (!std::isdigit(static_cast<unsigned char>(peek()))) return -1;
    int value = 0;
    while (std::isdigit(static_cast<unsigned char>(peek()))) {
      value = value * 10 + (text_[pos_++] - '0');
      if (value > 100000) fail("number too large");
    }
    return value;
  }

  void parseItem() {
    const int count = number();
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(peek())));
    if (c == '\0') fail("unexpected end");
    ++pos_;
    if (count == 0) fail("zero repeat count");
    EditItem item{EditItem::Kind::kNewRecord};
    switch (c) {
      case '\\':
        if (count != -1) fail("count before a backslash");
        result_.keepOpen = true;
        return;
      case '/':
        break;
      case 'X':
        add({EditItem::Kind::kSkip, count == -1 ? 1 : count}, 1);
        return;
      case 'A': {
        const int width = number();
        item = {EditItem::Kind::kText, width == -1 ? 0 : width};
        if (width == 0) fail("zero width");
        break;
      }
      case 'I':
        item = {EditItem::Kind::kInteger, number()};
        if (item.width < 0) fail("I needs a width");
        break;
      case 'D':
      case 'E':
        item = {EditItem::Kind::kExponent, number(), 0, c};
        expect('.');
        item.digits = number();
        if (item.width < 1 || item.digits < 0) fail("D and E need w.d");
        break;
      default:
        fail(std::string("unknown edit item '") + c + "'");
    }
    add(item, count == -1 ? 1 : count);
  }

  void add(const EditItem& item, int count) {
    for (int i = 0; i < count; ++i) result_.items.push_back(item);
  }

  [[noreturn]] void fail(const std::string& why) {
    throw std::invalid_argument("bad edit pattern \"" + std::string(text_) + "\": " + why);
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  EditPattern result_;
};

}  // namespace

EditPattern parseEditPattern(std::string_view pattern) { return Parser(pattern).parse(); }

}  // namespace rxc
