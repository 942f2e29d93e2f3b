// Report texts written out by hand for the tests that compare a whole report,
// as lines in the form reportAsText gives (UTF-8, no line ends).
#pragma once

#include <string>
#include <vector>

namespace rxc::testing {

using Lines = std::vector<std::string>;

// Appends, to a list of lines or to a temporary one.
Lines& operator<<(Lines& out, const Lines& more);
Lines operator<<(Lines&& out, const Lines& more);
// The lines, each ended with "\n".
std::string joined(const Lines& text);

// From the first empty lines to the total number of tables and the empty line
// after it. `rows` and `cols` are the margins as laid out after their labels'
// fixed part, e.g. "5,  12"; `total` is the count field, e.g. " 18".
Lines reportHead(const std::string& dim, const std::string& rows, const std::string& cols,
                 const std::string& total);

// A narrow table block: rows of cells already laid out, the probability after
// the first row, the logarithm (when given) after the second.
Lines block(const Lines& rows, const std::string& prob, const std::string& logProb = "");

// The three lines of arrows between two groups of tables. Inline, so it is
// initialised before any later definition in a test file that builds on it.
inline const std::string kArrows = "  " + std::string(60, '>');
inline const Lines kSeparator = {"", "", kArrows, "", kArrows, "", kArrows, "", ""};

}  // namespace rxc::testing
