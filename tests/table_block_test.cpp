// Table blocks in the report: narrow and wide layouts and the log line, byte
// for byte. (The cell widths 5, 6 and 7 show in the whole-session tests.)
#include "report/table_block.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "engine/problem/problem.h"
#include "support/session_driver.h"

namespace rxc {
namespace {

std::string block(int r, int c, int cellWidth, const std::vector<int16_t>& cells, double p,
                  double logProb, bool showLog) {
  // The layout follows from the largest column marginal: 2 digits give cells
  // of 5 columns, 3 digits 6, 5 digits 7.
  const int16_t column = cellWidth == 5 ? 10 : cellWidth == 6 ? 100 : 10000;
  const TableLayout layout =
      tableLayoutOf(makeProblem(std::vector<int16_t>(r, 1), std::vector<int16_t>(c, column)));
  EXPECT_EQ(layout.cellWidth, cellWidth);
  std::ostringstream out;
  RecordWriter report(out, StreamStyle::kReport);
  writeTableBlock(report, layout, cells.data(), p, logProb, showLog);
  report.flush();
  return out.str();
}

TEST(TableBlock, NarrowWorkedExample) {
  EXPECT_EQ(
      block(2, 3, 5, {1, 0, 2, 0, 3, 1}, 0.3, std::log(0.3), true),
      testing::lines(
          {"", "    1    0    2      Prob.= 0.30000000000000D+00", "    0    3    1", ""}, "\r\n"));
}

TEST(TableBlock, WideWorkedExampleWithLogLine) {
  std::vector<int16_t> cells(20);
  for (int k = 0; k < 20; ++k) cells[k] = static_cast<int16_t>(k % 10);
  const std::string row = "    0    1    2    3    4    5    6    7    8    9";
  EXPECT_EQ(block(2, 10, 5, cells, 0.0, -800.5, true),
            testing::lines({"", row, row, "    Prob.= 0.00000000000000D+00",
                            "    log(Prob.)=-0.800500000000D+03", ""},
                           "\r\n"));
}

TEST(TableBlock, LayoutSwitchesAboveFortyFiveColumns) {
  const std::vector<int16_t> nine(18, 1);
  const std::string narrow = block(2, 9, 5, nine, 0.5, std::log(0.5), false);
  EXPECT_NE(narrow.find("    1      Prob.= 0.50000000000000D+00\r\n"), std::string::npos);
  const std::vector<int16_t> ten(20, 1);
  const std::string wide = block(2, 10, 5, ten, 0.5, std::log(0.5), false);
  EXPECT_NE(wide.find("\r\n    Prob.= 0.50000000000000D+00\r\n\r\n"), std::string::npos);
  // 8 columns of width 6 is 48: wide as well.
  const std::vector<int16_t> eight(16, 100);
  EXPECT_NE(block(2, 8, 6, eight, 0.5, std::log(0.5), false).find("\r\n    Prob.="),
            std::string::npos);
}

TEST(TableBlock, LogLineOnlyBelowTinyAndOnlyWhenShown) {
  const std::vector<int16_t> cells = {1, 2, 3, 4};
  const double tiny = std::pow(10.0, -305.0);
  // Exactly Tiny: no log line.
  EXPECT_EQ(block(2, 2, 5, cells, tiny, std::log(tiny), true).find("log("), std::string::npos);
  // Below Tiny but not zero: three-digit exponent without the letter, and the
  // log line on the second row.
  EXPECT_EQ(block(2, 2, 5, cells, 1e-310, -713.8, true),
            testing::lines({"", "    1    2      Prob.= 0.10000000000000-309",
                            "    3    4      log(Prob.)=-0.713800000000D+03", ""},
                           "\r\n"));
  // A listing that never shows logs.
  EXPECT_EQ(block(2, 2, 5, cells, 0.0, -900.0, false),
            testing::lines({"", "    1    2      Prob.= 0.00000000000000D+00", "    3    4", ""},
                           "\r\n"));
  // Between Tiny and 1e-100: three-digit exponent, no log line.
  EXPECT_EQ(block(2, 2, 5, cells, 1e-150, -345.4, true).find("log("), std::string::npos);
}

}  // namespace
}  // namespace rxc
