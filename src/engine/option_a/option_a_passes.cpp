#include "engine/option_a/option_a_passes.h"

#include "base/tolerance.h"
#include "engine/kernel/enumeration.h"
#include "engine/option_a/tracking_in_pieces.h"

namespace rxc {

namespace {

// Reads the first table's log-probability and stops the pass there.
struct FirstTableProbe {
  static constexpr bool kNeedsLogProb = true;
  double logProb = 0.0;

  template <class Table>
  bool visit(double tableLogProb, const Table&) {
    logProb = tableLogProb;
    return false;
  }
};

// The per-table work of the first pass: every table is compared with the first
// one through its own band, and the pass stops at the first that differs.
class FirstPassVisitor {
 public:
  static constexpr bool kNeedsLogProb = true;

  explicit FirstPassVisitor(double firstLogProb) : modeLogProb_(firstLogProb) {}

  template <class Table>
  bool visit(double logProb, const Table&) {
    const LogBand band = toleranceBand(logProb);
    if (band.high < modeLogProb_) {
      minLogProb_ = logProb;
    } else if (band.low > modeLogProb_) {
      minLogProb_ = modeLogProb_;
      modeLogProb_ = logProb;
    } else {
      return true;
    }
    differs_ = true;
    return false;
  }

  bool differs() const { return differs_; }
  double modeLogProb() const { return modeLogProb_; }
  double minLogProb() const { return minLogProb_; }

 private:
  double modeLogProb_;
  double minLogProb_ = 0.0;
  bool differs_ = false;
};

}  // namespace

FirstPassOutcome runFirstPass(const Problem& problem, ProgressBar& progress) {
  // The first table is read ahead so that the pass itself has no "is this the
  // first table" test. The probe writes nothing: no progress mark can fall on
  // the first table, and a mark never repeats in any case.
  FirstTableProbe probe;
  runPassAnyShape(problem, progress, probe);

  FirstPassVisitor visitor(probe.logProb);
  const PassResult result = runPassAnyShape(problem, progress, visitor);
  FirstPassOutcome outcome;
  outcome.differs = visitor.differs();
  outcome.modeLogProb = visitor.modeLogProb();
  outcome.minLogProb = visitor.differs() ? visitor.minLogProb() : visitor.modeLogProb();
  outcome.tableCount = result.tableCount;
  return outcome;
}

TrackingOutcome runTrackingPass(const Problem& problem, ExtremeOption extremeOption,
                                const FirstPassOutcome& start, TableStore& highTables,
                                TableStore& lowTables, int64_t capacity, ProgressBar& progress,
                                PassOptions options) {
  ExtremeTracking initial;
  initial.modeLogProb = start.modeLogProb;
  initial.minLogProb = start.minLogProb;
  ExtremeTracker tracker(extremeOption, initial, highTables, lowTables, capacity);
  TrackingOutcome outcome;
  if (options.workers > 1 && piecesDepthLimit(problem) > 0) {
    outcome.tableCount = trackInPieces(problem, extremeOption, tracker, progress, options);
  } else {
    ExtremeVisitor visitor(tracker);
    outcome.tableCount = runPass(problem, progress, visitor, options).tableCount;
  }
  outcome.extremes = initial;
  tracker.storeInto(outcome.extremes);
  return outcome;
}

}  // namespace rxc
