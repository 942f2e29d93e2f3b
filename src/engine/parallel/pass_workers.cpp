#include "engine/parallel/pass_workers.h"

#include <vector>

#include "engine/bounds/completion_count.h"
#include "engine/bounds/open_cells.h"

namespace rxc {

namespace {

// Work allowed to the count (completion_count.h): a few milliseconds at most.
// A small distribution is counted well within it, as the count's memo merges
// the many partial tables that leave the same needs; one that needs more is
// taken as large. Should that misjudge a small one, its pass still starts no
// thread: it ends within the time it walks alone (PassOptions).
constexpr uint64_t kCountWork = uint64_t{1} << 16;

bool fewTables(const Problem& problem) {
  const std::vector<int32_t> rowNeed(problem.rowMargin.begin(), problem.rowMargin.end());
  const std::vector<int32_t> colNeed(problem.colMargin.begin(), problem.colMargin.end());
  CompletionCounter counter(colNeed);
  const CompletionCount count =
      counter.count({problem.r, problem.c, 0, 0, rowNeed, colNeed}, kCountWork);
  return count.exact() && count.value < kFewTables;
}

}  // namespace

int workersForPass(const Problem& problem, int processors) {
  if (processors <= 1 || fewTables(problem)) return 1;
  return processors;
}

}  // namespace rxc
