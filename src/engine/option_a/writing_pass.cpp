#include "engine/option_a/writing_pass.h"

#include <vector>

#include "base/fast_exp.h"
#include "engine/kernel/enumeration.h"

namespace rxc {

namespace {

class TableWritingVisitor {
 public:
  static constexpr bool kNeedsLogProb = true;

  TableWritingVisitor(const Problem& problem, int32_t tablesToWrite, const TableWriter& write)
      : tablesToWrite_(tablesToWrite),
        write_(write),
        cells_(static_cast<size_t>(problem.r) * static_cast<size_t>(problem.c)) {}

  template <class Table>
  bool visit(double logProb, const Table& table) {
    if (written_ >= tablesToWrite_) return false;
    ++written_;
    table.copyTo(cells_.data());
    write_(cells_.data(), fastExp(logProb));
    return true;
  }

 private:
  int32_t tablesToWrite_;
  const TableWriter& write_;
  int32_t written_ = 0;
  std::vector<int16_t> cells_;
};

}  // namespace

void runWritingPass(const Problem& problem, int32_t tablesToWrite, ProgressBar& progress,
                    const TableWriter& write) {
  TableWritingVisitor visitor(problem, tablesToWrite, write);
  runPassAnyShape(problem, progress, visitor);
}

}  // namespace rxc
