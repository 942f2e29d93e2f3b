#include "engine/option_a/tracking_in_pieces.h"

#include <algorithm>
#include <atomic>
#include <limits>

#include "base/tolerance.h"
#include "engine/kernel/table_view.h"
#include "engine/parallel/piece_runner.h"
#include "engine/parallel/split_pass.h"

namespace rxc {

namespace {

// The maximum and minimum as the thread that runs the tracking step last
// published them, for workers that walk later pieces of the pass.
struct PublishedExtremes {
  std::atomic<double> modeLogProb{0.0};
  std::atomic<double> minLogProb{0.0};

  void publish(const ExtremeTracker& tracker) {
    modeLogProb.store(tracker.modeLogProb(), std::memory_order_relaxed);
    minLogProb.store(tracker.minLogProb(), std::memory_order_relaxed);
  }
};

// A worker's sink in a tracking pass split into pieces: it hands on every
// table that the tracking step could act on, and nothing else. Whatever the
// tracking step has done with earlier tables, its maximum is at least the
// last one published, and at least the low end of the band of each table it
// has seen (a table that raised it set it to its own value, one that tied
// left it within its band, one below it left it above); likewise its minimum
// is at most the last one published and the high end of each band. A table
// below the guard of that floor of the maximum and above the guard of that
// ceiling of the minimum can change nothing. (The tables the visitor keeps
// back lie between the guards it was given, so only those handed on can move
// the floor and the ceiling of those seen.)
class ExtremeCandidates final : public ExtremeSink {
 public:
  ExtremeCandidates(ExtremeOption choice, const PublishedExtremes& published,
                    CandidateStream& stream)
      : tracked_(choice), published_(published), stream_(stream) {}

  ExtremeGuards guards() const override {
    const double maxFloor =
        std::max(seenFloor_, published_.modeLogProb.load(std::memory_order_relaxed));
    const double minCeiling =
        std::min(seenCeiling_, published_.minLogProb.load(std::memory_order_relaxed));
    return {tracked_.lowGuard(minCeiling), tracked_.highGuard(maxFloor)};
  }

  ExtremeGuards take(double logProb, const TableView& table) override {
    const LogBand band = toleranceBand(logProb);
    seenFloor_ = std::max(seenFloor_, band.low);
    seenCeiling_ = std::min(seenCeiling_, band.high);
    stream_.add(logProb, table);
    return guards();
  }

 private:
  TrackedGroups tracked_;
  const PublishedExtremes& published_;
  CandidateStream& stream_;
  double seenFloor_ = -std::numeric_limits<double>::infinity();
  double seenCeiling_ = std::numeric_limits<double>::infinity();
};

// What the tracking pass does beyond the walk, for the split pass
// (split_pass.h): the tracking step on this thread.
class SplitTracking {
 public:
  SplitTracking(ExtremeOption choice, ExtremeTracker& tracker)
      : choice_(choice), tracker_(tracker) {}

  template <class Walk>
  void alone(Walk&& walk) {
    ExtremeVisitor tracking(tracker_);
    walk(tracking);
  }

  void publish() { published_.publish(tracker_); }

  template <class Walk>
  uint64_t onWorker(int, CandidateStream& stream, Walk&& walk) {
    ExtremeCandidates candidates(choice_, published_, stream);
    ExtremeVisitor visitor(candidates);
    return walk(visitor);
  }

  void take(double logProb, const TableView& table) { tracker_.take(logProb, table); }

 private:
  const ExtremeOption choice_;
  ExtremeTracker& tracker_;
  PublishedExtremes published_;
};

}  // namespace

uint64_t trackInPieces(const Problem& problem, ExtremeOption choice, ExtremeTracker& tracker,
                       ProgressBar& progress, PassOptions options) {
  SplitTracking split(choice, tracker);
  return runSplitPass(problem, split, progress, options);
}

}  // namespace rxc
