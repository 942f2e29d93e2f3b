// How a count of tables (an 8-byte real without limit) is written: up to 2e9
// as the rounded integer with exactly one blank before its digits, above that
// as the real itself in "(D16.10)", with no blank before it.
#pragma once

#include <cstdint>

#include "records/field_widths.h"
#include "records/record_writer.h"

namespace rxc {

inline constexpr double kLargestIntegerCount = 2.0e9;

// The integer case leaves the record open; the real case ends it unless
// `keepRealOpen` asks for "(D16.10\)".
inline void writeCountForm(RecordWriter& out, double count, bool keepRealOpen) {
  if (count > kLargestIntegerCount) {
    if (keepRealOpen) {
      out.format("(D16.10\\)", count);
    } else {
      out.format("(D16.10)", count);
    }
  } else {
    out.format("(I\\)", SizedInt{static_cast<int32_t>(count + 0.5), countWidth(count)});
  }
}

}  // namespace rxc
