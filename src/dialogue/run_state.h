// The run state: every value that more than one stage of the run reads, with
// the names of the dialogue and of the report. One RunState per run; the
// stages are operations on it (see session.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/extreme_tables.h"
#include "engine/probability.h"
#include "engine/progress.h"
#include "engine/selection_lists.h"
#include "engine/table_slots.h"

namespace rxc {

struct RunState {
  // Dimensions and marginals. Margins are 1-based (index 0 unused); the
  // cumulative margins have element 0 = 0.
  int16_t r = 0;
  int16_t c = 0;
  int32_t longSide = 0;   // max(r, c); rows count as the longer side when r = c
  int32_t shortSide = 0;  // min(r, c)
  std::string dimText;    // "3x4" .. "100x100" (its size is DimTextLen)
  std::vector<int16_t> rowMargin;
  std::vector<int16_t> colMargin;
  std::vector<int16_t> rowCum;
  std::vector<int16_t> colCum;
  std::vector<int32_t> longMargins;   // MarginPairs column 1 (1-based)
  std::vector<int32_t> shortMargins;  // MarginPairs column 2 (1-based)
  int32_t n = 0;
  int16_t cellWidth = 0;
  int16_t tableLineWidth = 0;

  // Probability.
  LogFactorialTable logFactorial;
  double logMarginConst = 0.0;

  // Estimate and progress pacing.
  float approxCount = 0.0f;
  ProgressBar progress;

  // Result options (RunMode: 1 option A tracking, 2 option B, 3 option C,
  // 4 option C that no table can meet, 5 option A first pass).
  char resultOption = ' ';
  int16_t runMode = 0;
  int16_t extremeOption = 0;
  double l = 0.0, u = 0.0;
  double logL = 0.0, logU = 0.0;
  double lEntry = 9.0, uEntry = 9.0;
  bool tableEntered[3] = {false, false, false};  // index 1: L, 2: U
  std::vector<int16_t> observedTables;  // planes 1 and 2 of r x c cells, row-major
  int32_t t1 = 0, t2 = 0;

  // Capacities of the kept-table stores (64-bit: T1 + 1 must not wrap).
  int64_t extremeCapacity = 0;
  int64_t highCapacity = 0;
  int64_t lowCapacity = 0;
  TableSlots highTables;  // third group
  TableSlots lowTables;

  // Enumeration results.
  int16_t writePass = 0;
  double tableCount = 0.0;  // tables of the last complete pass
  int16_t countWidth = 0;
  int32_t conditionCount = 0;
  double conditionSum = 0.0;
  double conditionMaxLog = -2.0e300;
  int32_t conditionMaxRaises = 0;
  int16_t tinyProbabilityFlag = 0;
  int16_t fisherMode = 0;
  ExtremeTracking extremes;
  SelectionLists selection;

  int16_t* observedTable(int bound) {
    return observedTables.data() + (bound - 1) * r * c;
  }
  const int16_t* observedTable(int bound) const {
    return observedTables.data() + (bound - 1) * r * c;
  }
};

}  // namespace rxc
