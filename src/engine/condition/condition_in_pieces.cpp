#include "engine/condition/condition_in_pieces.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <limits>
#include <vector>

#include "base/tolerance.h"
#include "engine/kernel/table_view.h"
#include "engine/parallel/piece_runner.h"
#include "engine/parallel/split_pass.h"

namespace rxc {

namespace {

// What the ordered steps last published for the workers after a piece.
struct PublishedSteps {
  std::atomic<double> maxLog{0.0};
  std::atomic<double> highFloor{0.0};
  std::atomic<double> lowCeiling{0.0};

  void publish(const OrderedSteps& steps) {
    maxLog.store(steps.maxLog(), std::memory_order_relaxed);
    highFloor.store(steps.selector().highListFloor(), std::memory_order_relaxed);
    lowCeiling.store(steps.selector().lowListCeiling(), std::memory_order_relaxed);
  }
};

// A worker's sink for the accepted tables: hands on those the ordered steps
// could act on. Whatever those steps have done with earlier tables, the
// largest log-probability is at least the last one published, and at least
// the low end of the band of each accepted table before this one in the piece
// (a table that raised it set it to its own value; one that did not left it
// above its band's low end); a table whose band's low end is not above that
// floor raises nothing. The kept lists take only what their published floor
// and ceiling let in (TableSelector::highListFloor). An accepted table that
// the visitor does not hand on lies below the floor it was given, so only
// the tables handed on can raise the floor of those seen.
class CandidateFilter final : public AcceptedTableSink {
 public:
  CandidateFilter(const PublishedSteps& published, CandidateStream& stream)
      : published_(published), stream_(stream) {}

  StepThresholds thresholds() const override {
    return {std::max(seenFloor_, published_.maxLog.load(std::memory_order_relaxed)),
            published_.highFloor.load(std::memory_order_relaxed),
            published_.lowCeiling.load(std::memory_order_relaxed)};
  }

  StepThresholds take(double logProb, LogBand band, const TableView& table) override {
    seenFloor_ = std::max(seenFloor_, band.low);
    stream_.add(logProb, table);
    return thresholds();
  }

 private:
  const PublishedSteps& published_;
  CandidateStream& stream_;
  double seenFloor_ = -std::numeric_limits<double>::infinity();
};

// What the condition pass does beyond the walk, for the split pass
// (split_pass.h): its ordered steps on this thread, the counts and sums of the
// accepted tables on each thread that walks.
class SplitCondition {
 public:
  SplitCondition(AcceptedRange range, OrderedSteps& steps, const ExactProbabilities& exact,
                 int workers)
      : range_(range),
        steps_(steps),
        exact_(exact),
        counts_(static_cast<size_t>(workers), 0),
        sums_(static_cast<size_t>(workers)) {}

  template <class Walk>
  void alone(Walk&& walk) {
    ConditionVisitor visitor(range_, steps_, exact_);
    walk(visitor);
    aloneCount_ = visitor.count();
    aloneSum_ = visitor.sum();
  }

  void publish() { published_.publish(steps_); }

  // Each worker's count and sum over all of its pieces: neither depends on
  // the order of the tables, and the sums merge to the same value.
  template <class Walk>
  uint64_t onWorker(int worker, CandidateStream& stream, Walk&& walk) {
    CandidateFilter filter(published_, stream);
    ConditionVisitor visitor(range_, filter, exact_);
    const uint64_t tables = walk(visitor);
    const auto w = static_cast<size_t>(worker);
    counts_[w] += visitor.count();
    sums_[w].merge(visitor.sum());
    return tables;
  }

  void take(double logProb, const TableView& table) {
    steps_.take(logProb, toleranceBand(logProb), table);
  }

  // The accepted tables of the pieces walked alone, then of each worker's.
  void addTotals(PiecesTotals& totals) const {
    totals.count = aloneCount_;
    totals.sum = aloneSum_;
    for (size_t w = 0; w < counts_.size(); ++w) {
      totals.count += counts_[w];
      totals.sum.merge(sums_[w]);
    }
  }

 private:
  const AcceptedRange range_;
  OrderedSteps& steps_;
  const ExactProbabilities& exact_;
  PublishedSteps published_;
  int64_t aloneCount_ = 0;
  WideSum aloneSum_;
  std::vector<int64_t> counts_;
  std::vector<WideSum> sums_;
};

}  // namespace

PiecesTotals acceptInPieces(const Problem& problem, AcceptedRange range, OrderedSteps& steps,
                            ProgressBar& progress, PassOptions options) {
  const ExactProbabilities exact(problem);
  SplitCondition split(range, steps, exact, options.workers);
  PiecesTotals totals;
  totals.tableCount = runSplitPass(problem, split, progress, options);
  split.addTotals(totals);
  return totals;
}

}  // namespace rxc
