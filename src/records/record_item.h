// One item of a write statement: a text, an integer, or a real of 4 or 8 bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rxc {

// A 4-byte real item (written with Ew.d); 8-byte reals are plain doubles.
struct Real4 {
  float value;
};

// An integer item that carries the width of its field, for a bare I in the
// pattern: the widths that follow from a computed digit count.
struct SizedInt {
  int64_t value;
  int width;
};

class Item {
 public:
  enum class Kind { kText, kInteger, kReal8, kReal4 };

  Item(const char* text) : kind_(Kind::kText), text_(text) {}  // NOLINT: items read like literals
  Item(std::string_view text) : kind_(Kind::kText), text_(text) {}    // NOLINT
  Item(const std::string& text) : kind_(Kind::kText), text_(text) {}  // NOLINT
  Item(int16_t value) : kind_(Kind::kInteger), integer_(value) {}     // NOLINT
  Item(int32_t value) : kind_(Kind::kInteger), integer_(value) {}     // NOLINT
  Item(int64_t value) : kind_(Kind::kInteger), integer_(value) {}     // NOLINT
  Item(double value) : kind_(Kind::kReal8), real_(value) {}           // NOLINT
  Item(Real4 value) : kind_(Kind::kReal4), real_(value.value) {}      // NOLINT
  Item(SizedInt value)
      : kind_(Kind::kInteger), integer_(value.value), width_(value.width) {}  // NOLINT

  Kind kind() const { return kind_; }
  // Texts are UTF-8 in the program; each code point is one column of a record.
  std::string_view text() const { return text_; }
  int64_t integer() const { return integer_; }
  double real() const { return real_; }
  int width() const { return width_; }  // of a SizedInt; 0 otherwise

 private:
  Kind kind_;
  std::string_view text_;
  int64_t integer_ = 0;
  double real_ = 0.0;
  int width_ = 0;
};

}  // namespace rxc
