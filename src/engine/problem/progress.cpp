#include "engine/problem/progress.h"

#include <cmath>

namespace rxc {

namespace {
// The marks read 10 % to 90 %; the bar's end is written when the pass ends.
constexpr int kLastMark = 9;
}  // namespace

ProgressBar::ProgressBar(float approxCount, ProgressDisplay* display) : display_(display) {
  const float unit = 0.08f * approxCount;
  step_ = approxCount >= 15000000.0f ? 1 : 5;
  for (int k = step_; k <= kLastMark; k += step_) {
    thresholds_[k] = static_cast<double>(k) * static_cast<double>(unit);
  }
  thresholds_[10] = 1000.0 * static_cast<double>(unit);
  nextMark_ = step_;
  if (approxCount < 1000000.0f) thresholds_[step_] = 40000000.0;
  updateNextMarkAt();
}

void ProgressBar::reach(uint64_t tableCount) {
  if (nextMark_ > kLastMark) return;
  if (static_cast<double>(tableCount) >= thresholds_[nextMark_]) {
    if (display_ != nullptr) display_->mark(10 * nextMark_);
    nextMark_ = static_cast<int16_t>(nextMark_ + step_);
  }
  updateNextMarkAt();
}

// The first table count at which the next mark is due: the smallest integer
// not below the threshold. Index 10 lies at 80 times the estimate and gets no
// mark of its own (a "100 %" there would only repeat the bar's end), so after
// the 90 % mark no table pays for the check any more.
void ProgressBar::updateNextMarkAt() {
  nextMarkAt_ = std::numeric_limits<uint64_t>::max();
  if (nextMark_ > kLastMark) return;
  const double threshold = std::ceil(thresholds_[nextMark_]);
  if (threshold < 1.0) {
    nextMarkAt_ = 1;
  } else if (threshold < 1.8e19) {
    nextMarkAt_ = static_cast<uint64_t>(threshold);
  }
}

void ProgressBar::writeStart() {
  if (display_ != nullptr) display_->start();
}

void ProgressBar::writeFinish() {
  if (display_ != nullptr) display_->finish();
}

}  // namespace rxc
