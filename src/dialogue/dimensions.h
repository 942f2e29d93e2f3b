// Dimensions and marginals: the questions for r, c and every marginal with
// their checks, the values derived from them, and the head of the report.
#pragma once

#include "dialogue/session.h"

namespace rxc {

void askDimensions(Session& session);
// Sets LongSide/ShortSide and acquires the first group of per-run arrays.
void acquireMarginArrays(Session& session);
void askMarginals(Session& session);
void writeReportHead(Session& session);

// Cell width of every table block: from the digit count D of the largest
// column marginal, 5 for D <= 2, 6 for D = 3, D + 2 beyond.
int16_t cellWidthForDigits(int digits);

}  // namespace rxc
