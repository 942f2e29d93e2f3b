// The report sections of option A when the tables differ in probability: the
// tables of maximum probability (the mode), the tables of minimum probability,
// and the line of arrows between the two.
#pragma once

#include "dialogue/session.h"

namespace rxc {

enum class ExtremeSide { kMaximum, kMinimum };

// Heading, counts, the question for how many held tables to write (when more
// than ten are held) and the table blocks.
void writeExtremeSection(Session& session, ExtremeSide side);

// Three lines of arrows with blank lines around them.
void writeSectionSeparator(RecordWriter& report);

}  // namespace rxc
