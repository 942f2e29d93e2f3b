// Screening: a visitor may name ranges of log-probabilities that change
// nothing for it (option A's tracking: clearly inside the minimum and the
// maximum; options B and C: clearly outside the bounds). The kernel may then
// skip a table, a block or a whole subtree whose sums of ln(x!) are bounded
// inside such a range, without forming their exact log-probabilities.
//
//   struct Visitor {
//     NoOpRanges noOpRanges() const;
//     static constexpr bool kScreensEachTable;  // also estimate single tables
//   };
//
// A visitor that screens single tables is asked for its ranges again after
// each visit (they may change as it goes); any other is asked once, when a
// pass starts, and keeps its ranges for the whole pass.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

#include "base/double_pair.h"
#include "engine/bounds/rounding_budget.h"

namespace rxc {

// Log-probabilities strictly between `low` and `high`; empty when low >= high.
// Unbounded sides use the largest finite double, so that no infinity meets an
// infinity in the arithmetic below.
struct LogRange {
  double low = 0.0;
  double high = 0.0;
};

struct NoOpRanges {
  std::array<LogRange, 2> ranges{};
};

inline constexpr double kLargestLog = std::numeric_limits<double>::max();

namespace enumeration_detail {

template <class Visitor>
inline constexpr bool kHasNoOpRanges = requires(const Visitor& v) {
  v.noOpRanges();
};

template <class Visitor>
constexpr bool screensEachTable() {
  if constexpr (requires { Visitor::kScreensEachTable; }) {
    return Visitor::kScreensEachTable;
  } else {
    return false;
  }
}

// Sums of ln(x!) strictly between low and high belong to log-probabilities
// strictly inside the visitor's no-op ranges, however the sums were rounded.
struct SumRange {
  double low = 0.0;
  double high = 0.0;
};

struct Screen {
  std::array<SumRange, 2> ranges{};

  // Whether every sum in [least, greatest] lies inside one range.
  bool covers(double least, double greatest) const {
    return (least > ranges[0].low && greatest < ranges[0].high) ||
           (least > ranges[1].low && greatest < ranges[1].high);
  }
  // Whether a range holds `least` above its low end: a span from it is
  // inside that range when its greatest is low enough.
  bool mayCover(double least) const {
    return (least > ranges[0].low && least < ranges[0].high) ||
           (least > ranges[1].low && least < ranges[1].high);
  }
  // Whether the sum lies inside a range, in each lane.
  template <class Sum>  // double or DoublePair
  auto inside(Sum sum) const {
    return ((sum > ranges[0].low) & (sum < ranges[0].high)) |
           ((sum > ranges[1].low) & (sum < ranges[1].high));
  }
};

// The non-empty range that holds every log-probability below a bound (the
// improbable tables), or -1.
inline int openBelow(const NoOpRanges& noOp) {
  for (size_t k = 0; k < noOp.ranges.size(); ++k) {
    const LogRange& r = noOp.ranges[k];
    if (r.low <= -kLargestLog && r.low < r.high) return static_cast<int>(k);
  }
  return -1;
}

// Each range moved over to sums, narrowed by the screen margin relative to
// the sums and to the values the log-probability is formed from: it covers a
// table's own sum, its subtraction from marginConst, and a check's estimate
// (rounding_budget.h; docs/rounding.md, section 3). NaN bounds give a range
// that covers nothing.
inline Screen screenFor(const NoOpRanges& noOp, double marginConst, int cells) {
  const double slack = screenMargin(cells);
  const double mc = marginConst;
  Screen screen;
  for (size_t k = 0; k < noOp.ranges.size(); ++k) {
    const LogRange& r = noOp.ranges[k];
    if (!(r.low < r.high)) continue;  // empty: covers nothing
    screen.ranges[k].low =
        (mc - r.high + slack * (std::fabs(mc) + std::fabs(r.high))) / (1.0 - slack);
    screen.ranges[k].high =
        (mc - r.low - slack * (std::fabs(mc) + std::fabs(r.low))) / (1.0 + slack);
  }
  return screen;
}

// Checks that keep failing back off: after four failures in a row only one
// check in 2, 4, ... up to 64 is made, until one succeeds again. A failed
// check costs what visiting some tables would, and whether a region of the
// walk can be skipped changes slowly, so this bounds the cost where nothing
// skips and keeps the checks where they pay.
class CheckBackOff {
 public:
  bool due() {
    if (wait_ == 0) return true;
    --wait_;
    return false;
  }
  void record(bool succeeded) {
    if (succeeded) {
      failures_ = 0;
      return;
    }
    constexpr int kFailuresBeforeBackOff = 4;
    constexpr int kLongestWait = 64;
    if (++failures_ >= kFailuresBeforeBackOff) {
      const int doublings = std::min(failures_ - kFailuresBeforeBackOff, 6);
      wait_ = std::min(1 << doublings, kLongestWait) - 1;
    }
  }

 private:
  int failures_ = 0;
  int wait_ = 0;
};

// ceil(a / b) for b > 0.
inline constexpr int64_t ceilDiv(int64_t a, int64_t b) {
  return a >= 0 ? (a + b - 1) / b : -((-a) / b);
}

}  // namespace enumeration_detail
}  // namespace rxc
