// The questions of the results: how many modal or minimum-probability tables
// to write (option A, when more than ten are held), and how many of the first
// tables to write when every table has the same probability.
#pragma once

#include <cstdint>
#include <string_view>

#include "dialogue/console.h"
#include "engine/option_a/extreme_tables.h"

namespace rxc {

// Shows the group's count and asks K: negative answers are asked again
// silently, answers above 500000 with a message; an answer above the number
// held is lowered to it. K is one variable for the run: `previous` is its
// value so far (0, or the modal section's K), which a null answer keeps.
int32_t askExtremeTablesToWrite(Console& console, std::string_view dimText, ExtremeSide side,
                                double count, int32_t kept, int32_t previous);

// The console's notice that every table has the same probability, then the
// question for T (never asked again, whatever the answer; a null answer is
// T's starting value, 0).
int32_t askEqualProbabilityTablesToWrite(Console& console, std::string_view dimText);

}  // namespace rxc
