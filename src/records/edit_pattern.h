// Edit patterns of formatted statements, such as "(A18,I3,A3\)", parsed and
// checked against the statement's items when the program is built: a pattern
// whose items are of the wrong kind or number does not compile (the way {fmt}
// checks its format strings).
//
// The pattern language: Aw (a text in w columns), a bare A (a text in its own
// length), Iw (an integer in w columns), a bare I (an integer in the width the
// item carries, see SizedInt), Dw.d and Ew.d (a real), nX (n columns to the
// right), / (a new record) and a trailing backslash (the record stays open).
// A repeat count may precede A, I, D, E and /; blanks are allowed anywhere.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "records/record_item.h"

namespace rxc {

struct EditItem {
  enum class Kind {
    kText,      // Aw; width 0 means the item's own length
    kInteger,   // Iw; width 0 means the width the item carries
    kExponent,  // Dw.d or Ew.d
    kSkip,      // nX
    kNewRecord  // /
  };
  Kind kind = Kind::kNewRecord;
  int width = 0;    // w, or n for nX
  int digits = 0;   // d of Dw.d and Ew.d
  char letter = 0;  // 'D' or 'E'

  constexpr bool takesItem() const {
    return kind == Kind::kText || kind == Kind::kInteger || kind == Kind::kExponent;
  }
};

struct EditPattern {
  static constexpr int kMaxItems = 16;
  std::array<EditItem, kMaxItems> items{};
  int size = 0;
  bool keepOpen = false;  // the pattern ends in a backslash
};

// The parsed pattern, or the reason it is not one.
struct ParsedPattern {
  EditPattern pattern;
  const char* error = nullptr;
};

namespace edit_pattern_detail {

constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }
constexpr char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

class Parser {
 public:
  explicit constexpr Parser(std::string_view text) : text_(text) {}

  constexpr ParsedPattern parse() {
    if (!expect('(')) return result_;
    enum class Last { kStart, kComma, kSlash, kItem };
    Last last = Last::kStart;
    while (peek() != ')') {
      if (peek() == '\0') return failed("missing ')'");
      if (result_.pattern.keepOpen) return failed("the backslash must be the last item");
      if (peek() == ',') {
        if (last == Last::kStart || last == Last::kComma) return failed("empty item");
        ++pos_;
        last = Last::kComma;
        continue;
      }
      // Slashes and the backslash delimit themselves; other items need commas.
      const char next = peekItem();
      if (last == Last::kItem && next != '/' && next != '\\') return failed("missing comma");
      if (!parseItem()) return result_;
      last = next == '/' ? Last::kSlash : Last::kItem;
    }
    if (last == Last::kComma) return failed("comma before ')'");
    ++pos_;
    if (peek() != '\0') return failed("text after the closing parenthesis");
    return result_;
  }

 private:
  // Next character that is not a blank; '\0' at the end.
  constexpr char peek() {
    while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
    return pos_ < text_.size() ? text_[pos_] : '\0';
  }

  // The character after an optional repeat count, without consuming anything.
  constexpr char peekItem() {
    const std::size_t at = pos_;
    peek();
    while (pos_ < text_.size() && (isDigit(text_[pos_]) || text_[pos_] == ' ')) ++pos_;
    const char c = peek();
    pos_ = at;
    return c;
  }

  constexpr bool expect(char c) {
    if (peek() != c) {
      fail(c == '(' ? "expected '('" : "expected '.'");
      return false;
    }
    ++pos_;
    return true;
  }

  // An unsigned number, or -1 when none stands here; -2 when it is too large.
  constexpr int number() {
    if (!isDigit(peek())) return -1;
    int value = 0;
    while (isDigit(peek())) {
      value = value * 10 + (text_[pos_++] - '0');
      if (value > 1000) return -2;
    }
    return value;
  }

  constexpr bool parseItem() {
    const int count = number();
    if (count == -2) return fail("number too large");
    if (count == 0) return fail("zero repeat count");
    const char c = upper(peek());
    if (c == '\0') return fail("unexpected end");
    ++pos_;
    EditItem item;
    switch (c) {
      case '\\':
        if (count != -1) return fail("count before a backslash");
        result_.pattern.keepOpen = true;
        return true;
      case '/':
        break;
      case 'X':
        return add({EditItem::Kind::kSkip, count == -1 ? 1 : count}, 1);
      case 'A':
      case 'I': {
        const int width = number();
        if (width == 0) return fail("zero width");
        if (width == -2) return fail("number too large");
        item = {c == 'A' ? EditItem::Kind::kText : EditItem::Kind::kInteger,
                width == -1 ? 0 : width};
        break;
      }
      case 'D':
      case 'E':
        item = {EditItem::Kind::kExponent, number(), 0, c};
        if (!expect('.')) return false;
        item.digits = number();
        if (item.width < 1 || item.digits < 0) return fail("D and E need w.d");
        break;
      default:
        return fail("unknown edit item");
    }
    return add(item, count == -1 ? 1 : count);
  }

  constexpr bool add(const EditItem& item, int count) {
    for (int i = 0; i < count; ++i) {
      if (result_.pattern.size == EditPattern::kMaxItems) return fail("too many items");
      result_.pattern.items[result_.pattern.size++] = item;
    }
    return true;
  }

  // Records the first error; false, so that a step can return it.
  constexpr bool fail(const char* why) {
    if (result_.error == nullptr) result_.error = why;
    return false;
  }
  constexpr ParsedPattern failed(const char* why) {
    fail(why);
    return result_;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  ParsedPattern result_;
};

// What kind of edit item a statement's item of type T must meet.
template <class T>
constexpr EditItem::Kind itemKindOf() {
  using U = std::remove_cvref_t<T>;
  if constexpr (std::is_same_v<U, double> || std::is_same_v<U, Real4>) {
    return EditItem::Kind::kExponent;
  } else if constexpr (std::is_integral_v<U> || std::is_same_v<U, SizedInt>) {
    return EditItem::Kind::kInteger;
  } else {
    static_assert(std::is_convertible_v<const U&, std::string_view>,
                  "an item is a text, an integer or a real");
    return EditItem::Kind::kText;
  }
}

// Why the items do not fit the pattern, or nullptr when they do: one data
// edit item per item, in order, of the item's kind; a bare I takes a SizedInt
// and only a bare I does.
template <class... Items>
constexpr const char* mismatch(const EditPattern& pattern) {
  constexpr EditItem::Kind kinds[] = {itemKindOf<Items>()..., EditItem::Kind::kSkip};
  constexpr bool sized[] = {std::is_same_v<std::remove_cvref_t<Items>, SizedInt>..., false};
  int next = 0;
  for (int k = 0; k < pattern.size; ++k) {
    const EditItem& edit = pattern.items[k];
    if (!edit.takesItem()) continue;
    if (next == static_cast<int>(sizeof...(Items))) return "fewer items than the pattern takes";
    if (edit.kind != kinds[next]) return "an item of the wrong kind for its edit item";
    if (edit.kind == EditItem::Kind::kInteger && (edit.width == 0) != sized[next]) {
      return "a bare I takes a SizedInt, and only a bare I does";
    }
    ++next;
  }
  if (next != static_cast<int>(sizeof...(Items))) return "more items than the pattern takes";
  return nullptr;
}

// Not constant: reaching it while the program is built is the build error.
inline void invalidEditPattern(const char*) {}

}  // namespace edit_pattern_detail

// Parses a pattern; usable when the program is built and when it runs.
constexpr ParsedPattern parseEditPattern(std::string_view text) {
  return edit_pattern_detail::Parser(text).parse();
}

// Whether `text` is a pattern that these item types fit, for tests.
template <class... Items>
constexpr bool patternFits(std::string_view text) {
  const ParsedPattern parsed = parseEditPattern(text);
  return parsed.error == nullptr &&
         edit_pattern_detail::mismatch<Items...>(parsed.pattern) == nullptr;
}

// A pattern checked, when the program is built, against the types of the
// statement's items.
template <class... Items>
class PatternFor {
 public:
  template <class Text>
  requires std::is_convertible_v<const Text&, std::string_view>
  consteval PatternFor(const Text& text) {  // NOLINT: a literal reads as a pattern
    const ParsedPattern parsed = parseEditPattern(text);
    if (parsed.error != nullptr) edit_pattern_detail::invalidEditPattern(parsed.error);
    const char* why = edit_pattern_detail::mismatch<Items...>(parsed.pattern);
    if (why != nullptr) edit_pattern_detail::invalidEditPattern(why);
    pattern_ = parsed.pattern;
  }

  const EditPattern& pattern() const { return pattern_; }

 private:
  EditPattern pattern_;
};

}  // namespace rxc
