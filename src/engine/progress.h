// Pacing of the console progress bar, derived once from the estimated number of
// tables, and the marks written while a pass runs. One bar per run: a restarted
// pass continues the same line and never repeats a mark.
#pragma once

#include <array>
#include <cstdint>
#include <limits>

namespace rxc {

class RecordWriter;

class ProgressBar {
 public:
  ProgressBar() = default;
  ProgressBar(float approxCount, RecordWriter* console);

  // The ordinal (within a pass) of the next table that may write a mark; the
  // enumeration calls reach() when its count gets there, so the hot loop pays
  // one integer comparison per table.
  uint64_t nextMarkAt() const { return nextMarkAt_; }
  void reach(uint64_t tableCount);  // writes at most one mark

  void writeStart();   // " 0%", line left open
  void writeFinish();  // "****100%", line ended

  // Pacing values, exposed for tests.
  float progressUnit() const { return unit_; }
  int16_t progressStep() const { return step_; }
  int16_t nextMark() const { return nextMark_; }
  double threshold(int k) const { return thresholds_[k]; }

 private:
  void updateNextMarkAt();

  RecordWriter* console_ = nullptr;
  float unit_ = 0.0f;
  int16_t step_ = 5;
  int16_t nextMark_ = 5;
  std::array<double, 12> thresholds_{};
  uint64_t nextMarkAt_ = std::numeric_limits<uint64_t>::max();
};

}  // namespace rxc
