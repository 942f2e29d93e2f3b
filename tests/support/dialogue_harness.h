// A session whose dimensions and marginals are set by hand, as the opening
// stages leave them, with its console input given as a string.
#pragma once

#include <algorithm>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "dialogue/session.h"
#include "support/session_driver.h"

namespace rxc::testing {

class DialogueHarness {
 public:
  DialogueHarness(const std::string& input, const std::vector<int16_t>& rows,
                  const std::vector<int16_t>& cols, MemoryBudget budget = MemoryBudget())
      : in_(input), session_(in_, console_, report_, budget) {
    RunState& s = session_.state;
    s.r = static_cast<int16_t>(rows.size());
    s.c = static_cast<int16_t>(cols.size());
    s.shortSide = std::min(s.r, s.c);
    s.longSide = std::max(s.r, s.c);
    s.dimText = std::to_string(s.r) + "x" + std::to_string(s.c);
    s.rowMargin.assign(1, 0);
    s.rowMargin.insert(s.rowMargin.end(), rows.begin(), rows.end());
    s.colMargin.assign(1, 0);
    s.colMargin.insert(s.colMargin.end(), cols.begin(), cols.end());
    s.n = std::accumulate(rows.begin(), rows.end(), 0);
    const int16_t widest = *std::max_element(cols.begin(), cols.end());
    s.cellWidth = widest < 100 ? 5 : (widest < 10000 ? 6 : 7);
    s.tableLineWidth = static_cast<int16_t>(s.c * s.cellWidth);
    s.observedTables.assign(2 * rows.size() * cols.size(), 0);
    s.logFactorial.extendTo(s.n + s.shortSide - 2);
    s.logMarginConst = computeLogMarginConst(s.logFactorial, s.rowMargin, s.colMargin, s.n);
  }

  Session& session() { return session_; }
  RunState& state() { return session_.state; }
  // Everything written so far: the console as it is, the report through
  // reportAsText.
  std::string console() {
    session_.console.flush();
    return console_.str();
  }
  std::string report() {
    session_.report.flush();
    return reportAsText(report_.str());
  }

 private:
  std::istringstream in_;
  std::ostringstream console_;
  std::ostringstream report_;
  Session session_;
};

}  // namespace rxc::testing
