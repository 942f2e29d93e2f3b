// Pacing of the progress bar, derived once from the estimated number of
// tables, and the marks reached while a pass runs. One bar per run: a
// restarted pass continues the same line and never repeats a mark. What a
// mark looks like is the display's business, handed in by the program flow.
#pragma once

#include <array>
#include <cstdint>
#include <limits>

#include "engine/problem/progress_marks.h"

namespace rxc {

// Where the bar is shown. Called at most a dozen times a run, never per table.
class ProgressDisplay {
 public:
  virtual ~ProgressDisplay() = default;
  virtual void start() = 0;            // the bar's start, " 0%"
  virtual void mark(int percent) = 0;  // 10 .. 90
  virtual void finish() = 0;           // the bar's end, "****100%"
};

class ProgressBar {
 public:
  ProgressBar() = default;  // no marks, nothing shown
  ProgressBar(float approxCount, ProgressDisplay* display);

  // The ordinal (within a pass) of the next table that may reach a mark; the
  // enumeration calls reach() when its count gets there, so the hot loop pays
  // one integer comparison per table.
  uint64_t nextMarkAt() const { return nextMarkAt_; }
  void reach(uint64_t tableCount);  // at most one mark

  // Tables `from` + 1 .. `to` of a pass passed at once (counted without a
  // visit, or walked by another thread): the marks due among them, at most
  // one a table, as if they were reached one by one (passMarks).
  void pass(uint64_t from, uint64_t to) { passMarks(*this, from, to, nextMarkAt_); }

  void writeStart();
  void writeFinish();

 private:
  void updateNextMarkAt();

  ProgressDisplay* display_ = nullptr;
  int16_t step_ = 5;
  int16_t nextMark_ = 5;
  std::array<double, 12> thresholds_{};
  uint64_t nextMarkAt_ = std::numeric_limits<uint64_t>::max();
};

}  // namespace rxc
