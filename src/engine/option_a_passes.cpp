#include "engine/option_a_passes.h"

#include <cmath>
#include <vector>

#include "engine/enumeration_kernel.h"
#include "base/fast_exp.h"
#include "report/table_block.h"

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

// The per-table work of the writing pass: the first `tablesToWrite` tables go
// to the report with their own probabilities; the next one stops the pass.
class TableWritingVisitor {
 public:
  static constexpr bool kNeedsLogProb = true;

  TableWritingVisitor(RecordWriter& report, const RunState& state, int32_t tablesToWrite)
      : report_(report),
        state_(state),
        tablesToWrite_(tablesToWrite),
        cells_(static_cast<size_t>(state.r) * static_cast<size_t>(state.c)) {}

  template <class Table>
  bool visit(double logProb, const Table& table) {
    if (written_ >= tablesToWrite_) return false;
    ++written_;
    table.copyTo(cells_.data());
    writeTableBlock(report_, state_, cells_.data(), fastExp(logProb), logProb,
                    /*showLog=*/false);
    return true;
  }

 private:
  RecordWriter& report_;
  const RunState& state_;
  int32_t tablesToWrite_;
  int32_t written_ = 0;
  std::vector<int16_t> cells_;
};

template <ExtremeChoice kChoice>
uint64_t runTrackingPass(RunState& state, const EnumerationInput& input) {
  ExtremeTrackingVisitor<kChoice> visitor(state.extremes, state.highTables, state.lowTables,
                                          state.extremeCapacity);
  const PassResult result = runPass(input, state.progress, visitor);
  visitor.storeInto(state.extremes);
  return result.tableCount;
}

}  // namespace

FirstPassOutcome runFirstPass(const EnumerationInput& input, ProgressBar& progress) {
  // The first table is read ahead so that the pass itself has no "is this the
  // first table" test. The probe writes nothing: no progress mark can fall on
  // the first table, and a mark never repeats in any case.
  FirstTableProbe probe;
  runPassAnyShape(input, progress, probe);

  FirstPassVisitor visitor(probe.logProb);
  const PassResult result = runPassAnyShape(input, progress, visitor);
  FirstPassOutcome outcome;
  outcome.differs = visitor.differs();
  outcome.modeLogProb = visitor.modeLogProb();
  outcome.minLogProb = visitor.differs() ? visitor.minLogProb() : visitor.modeLogProb();
  outcome.tableCount = result.tableCount;
  return outcome;
}

void runOptionAPasses(Session& session) {
  RunState& state = session.state;
  const EnumerationInput input = enumerationInputFrom(state);

  const FirstPassOutcome first = runFirstPass(input, state.progress);
  state.extremes.modeLogProb = first.modeLogProb;
  state.extremes.minLogProb = first.minLogProb;
  if (!first.differs) {
    // Every table has the first table's probability: no mode and no minimum;
    // the next pass, if any, writes tables.
    state.tableCount = static_cast<double>(first.tableCount);
    state.writePass = 1;
    return;
  }

  state.runMode = 1;
  uint64_t tableCount = 0;
  switch (static_cast<ExtremeChoice>(state.extremeOption)) {
    case ExtremeChoice::kModal:
      tableCount = runTrackingPass<ExtremeChoice::kModal>(state, input);
      break;
    case ExtremeChoice::kMinimum:
      tableCount = runTrackingPass<ExtremeChoice::kMinimum>(state, input);
      break;
    default:
      tableCount = runTrackingPass<ExtremeChoice::kBoth>(state, input);
      break;
  }
  state.tableCount = static_cast<double>(tableCount);
}

void runWritingPass(Session& session, int32_t tablesToWrite) {
  RunState& state = session.state;
  const EnumerationInput input = enumerationInputFrom(state);
  TableWritingVisitor visitor(session.report, state, tablesToWrite);
  runPassAnyShape(input, state.progress, visitor);
}

}  // namespace rxc
