// The report sections of option A when the tables differ in probability: the
// tables of maximum probability (the mode), the tables of minimum probability,
// and the line of arrows between the two. The question of how many held
// tables to write (asked when more than ten are held) falls between the
// heading and the rest; the program flow asks it.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/option_a/extreme_tables.h"
#include "engine/stores/kept_view.h"
#include "records/record_writer.h"
#include "report/table_block.h"

namespace rxc {

// Held tables are written without a question up to this many.
inline constexpr int32_t kWrittenWithoutQuestion = 10;

struct ExtremeSectionView {
  ExtremeSide side;
  std::string_view dimText;
  double count;      // every table of the group, held or not
  KeptGroup tables;  // the first ones in generation order, held
  const TableLayout& layout;
};

// Two empty lines, the heading and an empty line.
void writeExtremeHeading(RecordWriter& report, const ExtremeSectionView& view);

// The count record, the notes, and the first `toWrite` held tables as blocks.
void writeExtremeTables(RecordWriter& report, const ExtremeSectionView& view, int32_t toWrite);

// Three lines of arrows with blank lines around them.
void writeSectionSeparator(RecordWriter& report);

}  // namespace rxc
