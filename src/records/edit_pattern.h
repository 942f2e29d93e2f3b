// Edit patterns of formatted statements, such as "(A18,I3,A3\)": parsed once
// into a list of edit items that the record writer applies left to right.
#pragma once

#include <string_view>
#include <vector>

namespace rxc {

struct EditItem {
  enum class Kind {
    kText,      // Aw; width 0 means the item's own length
    kInteger,   // Iw
    kExponent,  // Dw.d or Ew.d
    kSkip,      // nX
    kNewRecord  // /
  };
  Kind kind;
  int width = 0;    // w, or n for nX
  int digits = 0;   // d of Dw.d and Ew.d
  char letter = 0;  // 'D' or 'E'
};

struct EditPattern {
  std::vector<EditItem> items;
  bool keepOpen = false;  // the pattern ends in a backslash
};

// Parses "(item,item,...)" with blanks allowed anywhere; a repeat count may
// precede A, I, D, E and /. Throws std::invalid_argument on anything else:
// patterns are part of the program, so a bad one is a programming error.
EditPattern parseEditPattern(std::string_view pattern);

}  // namespace rxc
