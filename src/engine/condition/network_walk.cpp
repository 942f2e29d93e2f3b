#include "engine/condition/network_walk.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "base/small_sort.h"
#include "base/term_sum.h"
#include "base/tolerance.h"
#include "base/wide_real.h"
#include "engine/bounds/completion_count.h"
#include "engine/bounds/open_cells_bounds.h"
#include "engine/bounds/rounding_budget.h"
#include "engine/condition/child_counts.h"
#include "engine/condition/child_sums.h"
#include "engine/condition/exact_probabilities.h"
#include "engine/condition/subtree_memo.h"
#include "engine/kernel/table_view.h"

namespace rxc {

namespace {

constexpr double kLogInfinity = std::numeric_limits<double>::infinity();
// A rejected subtree whose own count took this much work (countNode's nodes)
// marks a pass that rejects large subtrees: every table is then counted at
// once, and later rejected subtrees cost nothing. A test of Fisher's rejects
// small subtrees only, whose counts cost less than that one count (a tenth of
// the walk on 5x5 with every marginal 6, 4 % on 5x7); a narrow band rejects
// large ones from the start.
constexpr uint64_t kRejectedWorkForTotal = 64;
// Work one count may take before the node is walked instead.
constexpr uint64_t kCountWork = uint64_t{1} << 14;
// The stack one level of the walk's recursion may take: a node's frame (about
// 0.85 KB in an optimised build) and, beneath the deepest node, a count's
// recursion (about 0.25 KB a level), with room for less optimised builds.
// Shapes whose recursion would not fit go to the enumeration's walk; with the
// usual 8 MiB of stack that is beyond 2048 interior cells, where no walk
// finishes anyway.
constexpr uint64_t kStackPerLevel = 2048;
constexpr int kMostRows = 100;
// The most values (of 16 bytes, and as many of 8) kept for the children's
// counts of the last interior column's nodes: beyond, each child is counted
// on its own.
constexpr size_t kMostCountScratch = size_t{1} << 16;

// Values for k = 0..n, each made when first asked for.
class LazyTable {
 public:
  void resize(size_t size) {
    values_.resize(size);
    known_.resize(size, 0);
  }
  template <class Make>
  const WideReal& at(int k, Make make) {
    const auto u = static_cast<size_t>(k);
    if (!known_[u]) {
      values_[u] = make();
      known_[u] = 1;
    }
    return values_[u];
  }

 private:
  std::vector<WideReal> values_;
  std::vector<uint8_t> known_;
};

// What a subtree came to, relative to the cells fixed above it.
struct NodeResult {
  uint64_t tables = 0;
  int64_t accepted = 0;
  TermSum relativeSum;
  double acceptedLow = kLogInfinity;  // range of the accepted log-probabilities
  double acceptedHigh = -kLogInfinity;
  // How far every table's log-probability may rise, and fall, before any
  // decision in the subtree changes.
  double roomUp = kLogInfinity;
  double roomDown = kLogInfinity;
  bool robust = true;  // every table decided away from the bounds

  void acceptRange(double low, double high) {
    acceptedLow = std::min(acceptedLow, low);
    acceptedHigh = std::max(acceptedHigh, high);
  }
  void keepRoom(double up, double down) {
    roomUp = std::min(roomUp, up);
    roomDown = std::min(roomDown, down);
  }
};

// The cells of the table being visited, for the kept lists.
struct CellsView {
  const int16_t* cells;
  int count;
  void copyTo(int16_t* out) const { std::copy(cells, cells + count, out); }
};

class NetworkWalk {
 public:
  NetworkWalk(const Problem& problem, AcceptedRange range, AcceptedTableSink& sink,
              ProgressBar& progress, MemoryBudget* budget, uint64_t memoCapBytes,
              uint64_t totalCountWork);

  NetworkOutcome run();

 private:
  enum class Verdict { kNoneAccepted, kAllAccepted, kWalk };
  // What bounds on the open cells' sum of ln x! decide about a subtree;
  // [low, high] is where its tables' log-probabilities lie.
  struct Judgement {
    Verdict verdict;
    double low;
    double high;
  };
  [[gnu::always_inline]] Judgement judge(SumBounds bounds) const;
  // The subtree whose next cell is interior position p (column-major), as
  // its bounds judge it; `facts` is its key's facts (kNoFacts when not yet
  // found: the node finds them and sets it).
  NodeResult walkNode(int p, CountSource source, Judgement judged, uint32_t& facts);
  // The bounds of node p's open cells' sum of ln x!.
  SumBounds boundNode(int p) const;
  // The same, kept in the facts of node p's key (found, and `facts` set,
  // if not yet) so that each key is bounded once, however many links lead
  // to it: the nodes of a key have the same rows up to their order, so the
  // rows' relaxation adds the same terms for each, in another order at most,
  // which the slack of a bound covers. In the last interior column, whose
  // keys seldom come back, and when the memo is full, bounded each time.
  SumBounds boundChild(int p, uint32_t& facts);
  // Node p's tables counted (by its siblings' product, if `source` has one)
  // and passed on the progress bar; false if they cannot be counted in 64
  // bits. `facts` as walkNode's; the work the count took (countNode's) is
  // added to `work`.
  bool countAndPass(int p, CountSource source, uint32_t& facts, uint64_t& n, uint64_t& work);
  // A subtree whose every table is rejected, counted for the progress bar
  // while every table of the pass is not, if it can be; the facts of its key
  // (kNoFacts: none) keep the count.
  [[gnu::noinline]] bool countRejected(int p, double low, double high, uint32_t facts,
                                       CountSource source, NodeResult& out);
  // The sum over node p's completions of the product of 1/x! over its open
  // cells, kept in its key's facts (kNoFacts: none).
  WideReal closedForm(int p, uint32_t facts);
  // Child x of a walked node, node p with its cells fixed, whose bounds
  // accept every table with none able to act (`judged`), taken whole if its
  // tables can be counted: its count, its share of the parent's sum and its
  // range go into the parent's `out`. `facts` as walkNode's.
  bool acceptWhole(int p, CountSource source, Judgement judged, uint32_t& facts,
                   ChildShares& shares, NodeResult& out);
  // The number of completions of node p, if it fits in 64 bits and is found
  // within the work left: in the last interior column by the completion
  // counter (a bounded composition), before it child by child, each key's
  // count kept in its facts so that it is made once. `facts` as walkNode's.
  bool countNode(int p, uint64_t& work, uint32_t& facts, uint64_t& out);
  // The facts of node p's key, found if not yet (kNoFacts when the memo is
  // full).
  uint32_t factsOf(int p, uint32_t& facts);
  // The subtree taken from the memo, if it can be.
  bool takeFromMemo(const KeyFacts& facts, NodeResult& out);
  // A stored subtree of this node's key whose tables, moved to this node's
  // past, keep every decision. Null if none.
  struct Reuse {
    const StoredSubtree* stored = nullptr;
    bool samePast = false;  // walked at this very past (the same bits)
    double shift = 0.0;     // else how much its log-probabilities fall
  };
  Reuse reusable(const KeyFacts& facts) const;
  // Stores the walked subtree `result` of this node's key.
  void store(uint32_t facts, const NodeResult& result);
  // Node p walked child by child.
  NodeResult walkChildren(int p, uint32_t facts);
  // The children of node p: its cell (row i, column j) takes x from `first`
  // to `last`, within what the column needs and what the rows below it can
  // still take; the last interior row's children complete the column.
  struct Children {
    size_t row, column;
    int32_t need;   // what the column still needs
    int32_t below;  // what the rows after i still need
    int32_t first, last;
    bool endsColumn;
  };
  Children childrenOf(int p) const;
  // The node of the last interior cell: its tables one by one. Out of line,
  // as is the decision, so that the frame of every level of the recursion
  // stays small.
  [[gnu::noinline]] NodeResult walkLeaf();
  // The four cells of the leaf node that move with its cell x: x itself, the
  // last row's cell under it (need - x), the last column's beside it
  // (above - x) and the corner (below - need + x).
  struct LeafCells {
    size_t cell;  // x's place in cells_
    int32_t need, above, below;
  };
  void setLeafCells(const LeafCells& leaf, int32_t x);
  // The table completed by the leaf's cell x, whose log-probability is
  // `logProb`; true if accepted.
  bool visitTable(const LeafCells& leaf, int32_t x, double logProb, NodeResult& out);
  // Adds a child's result, times the child's own fixed cells' 1/x!.
  static void absorb(NodeResult& into, const NodeResult& child, const WideReal& factor);
  // Node p's key, built in `key_`.
  std::span<const uint16_t> buildKey(int p);
  // Whether a table with a log-probability in [low, high] may raise the
  // largest accepted log-probability or enter a kept list.
  bool mayAct(double low, double high) const;
  bool accepts(double logProb) const { return range_.lower < logProb && logProb < range_.upper; }
  // Keeps the room between the bounds and a table, or a subtree whose tables
  // lie in [low, high], all rejected.
  void roomOfTable(double logProb, NodeResult& out) const {
    if (logProb <= range_.lower) {
      out.keepRoom(range_.lower - logProb, kLogInfinity);
    } else if (logProb < range_.upper) {
      out.keepRoom(range_.upper - logProb, logProb - range_.lower);
    } else {
      out.keepRoom(kLogInfinity, logProb - range_.upper);
    }
  }
  void roomOfRejected(double low, double high, NodeResult& out) const {
    if (high <= range_.lower) {
      out.keepRoom(range_.lower - high, kLogInfinity);
    } else {
      out.keepRoom(kLogInfinity, low - range_.upper);
    }
  }
  // Whether a table's decision could differ under another order of its
  // additions.
  bool nearEdge(double logProb) const {
    return std::fabs(logProb - range_.lower) <= reuseMargin_ ||
           std::fabs(logProb - range_.upper) <= reuseMargin_;
  }
  void passTables(uint64_t n);
  // Whether every table of the pass is counted: if not yet, tries once
  // when a rejected subtree's own count took kRejectedWorkForTotal work.
  bool countEveryTable();
  const WideReal& inverseFactorial(int k) {
    return inverse_.at(k, [&] { return sums_.inverseFactorial(k); });
  }
  const WideReal& factorial(int k) {
    return factorial_.at(k, [&] { return sums_.factorial(k); });
  }
  // The factorials, each made when first asked for, as the closed form reads
  // them.
  struct Factorials {
    NetworkWalk& walk;
    const WideReal& of(int k) { return walk.factorial(k); }
    const WideReal& inverseOf(int k) { return walk.inverseFactorial(k); }
  };
  double roundingSlack(double total) const { return slack_ * total; }

  AcceptedRange range_;
  AcceptedTableSink& sink_;
  ProgressBar& progress_;
  int r_, c_, interiorRows_, positions_;
  const double* lf_;
  double lmc_;
  StepThresholds thresholds_;
  ExactProbabilities sums_;
  LazyTable inverse_;    // 1/k!, k = 0..N
  LazyTable factorial_;  // k!, k = 0..N
  CompletionCounter counter_;
  SubtreeMemo memo_;
  std::vector<int32_t> rowNeed_, colNeed_;
  std::vector<int16_t> cells_;               // row-major
  std::array<uint16_t, kMostRows + 3> key_;  // where a node's key is built
  // Room for the children's counts of a node in the last interior column,
  // one stretch per interior row, and two more for those of the node that
  // ends the column before it, walked and counted (empty when the column's
  // margin makes them too large to keep).
  std::vector<ChildCounts::Wide> countScratch_;
  std::vector<uint64_t> narrowCountScratch_;
  std::size_t countStretch_ = 0;
  CountScratch countStretch(size_t i) {
    return {std::span(countScratch_).subspan(i * countStretch_, countStretch_),
            std::span(narrowCountScratch_).subspan(i * countStretch_, countStretch_)};
  }
  // Every table of the pass, once counted (countEveryTable).
  std::optional<uint64_t> total_;
  bool totalTried_ = false;
  uint64_t largestRejectedWork_ = 0;  // of a rejected subtree's own count
  std::vector<int32_t> rowMargin_, colMargin_;
  uint64_t totalCountWork_;   // work that count may take
  double interiorSum_ = 0.0;  // the running sum of ln x! over the interior cells
  double derivedSum_ = 0.0;   // ln x! of the last-row cells of the completed columns
  double slack_;              // relative to the sums and |LogMarginConst| (rounding_budget.h)
  double reuseMargin_;
  double shiftMargin_;
  uint64_t tableCount_ = 0;
  int64_t count_ = 0;
  NetworkOutcome stats_;
};

NetworkWalk::NetworkWalk(const Problem& problem, AcceptedRange range, AcceptedTableSink& sink,
                         ProgressBar& progress, MemoryBudget* budget, uint64_t memoCapBytes,
                         uint64_t totalCountWork)
    : range_(range),
      sink_(sink),
      progress_(progress),
      r_(problem.r),
      c_(problem.c),
      interiorRows_(problem.r - 1),
      positions_((problem.r - 1) * (problem.c - 1)),
      lf_(problem.logFactorial.data()),
      lmc_(problem.logMarginConst),
      thresholds_(sink.thresholds()),
      sums_(problem),
      counter_(std::vector<int32_t>(problem.colMargin.begin(), problem.colMargin.end())),
      memo_(budget, memoCapBytes),
      rowNeed_(problem.rowMargin.begin(), problem.rowMargin.end()),
      colNeed_(problem.colMargin.begin(), problem.colMargin.end()),
      cells_(static_cast<size_t>(problem.r * problem.c), 0),
      rowMargin_(problem.rowMargin.begin(), problem.rowMargin.end()),
      colMargin_(problem.colMargin.begin(), problem.colMargin.end()),
      totalCountWork_(totalCountWork) {
  inverse_.resize(static_cast<size_t>(problem.n) + 1);
  factorial_.resize(static_cast<size_t>(problem.n) + 1);
  countStretch_ = static_cast<size_t>(problem.colMargin[static_cast<size_t>(c_ - 2)]) + 1;
  if (countStretch_ * static_cast<size_t>(r_ + 1) <= kMostCountScratch) {
    countScratch_.resize(countStretch_ * static_cast<size_t>(r_ + 1));
    narrowCountScratch_.resize(countScratch_.size());
  }
  // The slack of a node's range. The margins of reuse, in units of rounding
  // at the largest partial sum, ln N! plus |LogMarginConst|: a table's
  // log-probability at the same past (its bits), 2(rc + c + 2); at another
  // past, 4(rc + 2) (docs/rounding.md, section 7).
  slack_ = enumeration_detail::networkSlack(r_, c_);
  const double largest = lf_[problem.n] + std::fabs(lmc_);
  const double unit = enumeration_detail::kUnitRoundoff * largest;
  const double cells = static_cast<double>(r_) * static_cast<double>(c_);
  reuseMargin_ = 2.0 * (cells + static_cast<double>(c_) + 2.0) * unit;
  shiftMargin_ = 4.0 * (cells + 2.0) * unit;
}

void NetworkWalk::passTables(uint64_t n) {
  progress_.pass(tableCount_, tableCount_ + n);
  tableCount_ += n;
}

bool NetworkWalk::mayAct(double low, double high) const {
  const LogBand top = toleranceBand(high);
  const LogBand bottom = toleranceBand(low);
  return top.low > thresholds_.maxLog || top.low >= thresholds_.highEntry ||
         bottom.high <= thresholds_.lowEntry;
}

void NetworkWalk::absorb(NodeResult& into, const NodeResult& child, const WideReal& factor) {
  into.tables += child.tables;
  into.accepted += child.accepted;
  if (child.accepted > 0) {
    into.relativeSum.addProduct(child.relativeSum.raw(), factor);
    into.acceptRange(child.acceptedLow, child.acceptedHigh);
  }
  into.robust = into.robust && child.robust;
  into.keepRoom(child.roomUp, child.roomDown);
}

inline NetworkWalk::Judgement NetworkWalk::judge(SumBounds bounds) const {
  const double fixed = interiorSum_ + derivedSum_;
  const double slack = roundingSlack(fixed + bounds.greatest + std::fabs(lmc_));
  const double low = lmc_ - (fixed + bounds.greatest) - slack;
  const double high = lmc_ - (fixed + bounds.least) + slack;
  if (high <= range_.lower || low >= range_.upper) return {Verdict::kNoneAccepted, low, high};
  if (range_.lower < low && high < range_.upper && !mayAct(low, high)) {
    return {Verdict::kAllAccepted, low, high};
  }
  return {Verdict::kWalk, low, high};
}

SumBounds NetworkWalk::boundNode(int p) const {
  // The rows' relaxation alone: it decides nearly every node that the rows'
  // and the columns' together decide, at about half the cost. On 5x7, of
  // 22,052 nodes the two decided, the rows alone decided 21,838 and the
  // columns alone 4,457; dropping the columns' took 8 % of the instructions
  // off the walk, 12 % of the time off 4x4 every 50, and 3 % off the narrow
  // band, for 0.2-1.4 % more nodes walked. In the last interior column a
  // row's open cells are two at most, and the columns add even less there;
  // there the rows' shares are read directly.
  const OpenCells open{r_, c_, p / interiorRows_, p % interiorRows_, rowNeed_, colNeed_};
  if (open.column == c_ - 2) return boundLastTwoColumnsByRows(open, lf_);
  return boundOpenCellsByRows(open, lf_);
}

SumBounds NetworkWalk::boundChild(int p, uint32_t& facts) {
  if (p / interiorRows_ == c_ - 2 || factsOf(p, facts) == SubtreeMemo::kNoFacts) {
    return boundNode(p);
  }
  KeyFacts& known = memo_.factsAt(facts);
  if (!known.boundsKnown) {
    const SumBounds bounds = boundNode(p);
    known.least = bounds.least;
    known.greatest = bounds.greatest;
    known.boundsKnown = true;
  }
  return {known.least, known.greatest};
}

uint32_t NetworkWalk::factsOf(int p, uint32_t& facts) {
  if (facts == SubtreeMemo::kNoFacts) {
    facts = memo_.factsIndex(buildKey(p));
  }
  return facts;
}

bool NetworkWalk::countNode(int p, uint64_t& work, uint32_t& facts, uint64_t& out) {
  const int i = p % interiorRows_;
  const int j = p / interiorRows_;
  if (j == c_ - 2) {
    const CompletionCount count = counter_.count({r_, c_, j, i, rowNeed_, colNeed_}, kCountWork);
    if (!count.exact() || count.value > std::numeric_limits<uint64_t>::max()) return false;
    out = static_cast<uint64_t>(count.value);
    return true;
  }
  if (factsOf(p, facts) != SubtreeMemo::kNoFacts && memo_.factsAt(facts).countKnown) {
    out = memo_.factsAt(facts).count;
    return true;
  }
  bool counted = ++work <= kCountWork;
  uint64_t total = 0;
  const Children children = childrenOf(p);
  const size_t ui = children.row;
  const size_t uj = children.column;
  const auto lastRow = static_cast<size_t>(r_ - 1);
  // Children that start the last interior column: counted together.
  std::optional<NextColumnCounts> nextColumnCounts;
  if (children.endsColumn && uj + 3 == static_cast<size_t>(c_) && !countScratch_.empty()) {
    nextColumnCounts.emplace(std::span<const int32_t>(rowNeed_).first(static_cast<size_t>(r_ - 2)),
                             colNeed_[uj + 1], rowNeed_[ui], rowNeed_[lastRow], children.need,
                             countStretch(static_cast<size_t>(r_)));
  }
  for (int32_t x = children.first; counted && x <= children.last; ++x) {
    uint64_t child = 0;
    if (nextColumnCounts.has_value() && nextColumnCounts->at(x, child)) {
      counted = child <= std::numeric_limits<uint64_t>::max() - total;
      total += child;
      continue;
    }
    rowNeed_[ui] -= x;
    colNeed_[uj] -= x;
    const int32_t y = children.endsColumn ? colNeed_[uj] : 0;  // the last row's cell
    rowNeed_[lastRow] -= y;
    uint32_t childFacts = SubtreeMemo::kNoFacts;
    counted = countNode(p + 1, work, childFacts, child) &&
              child <= std::numeric_limits<uint64_t>::max() - total;
    total += child;
    rowNeed_[lastRow] += y;
    rowNeed_[ui] += x;
    colNeed_[uj] += x;
  }
  if (!counted) return false;
  out = total;
  if (facts != SubtreeMemo::kNoFacts) {
    memo_.factsAt(facts).countKnown = true;
    memo_.factsAt(facts).count = total;
  }
  return true;
}

bool NetworkWalk::countAndPass(int p, CountSource source, uint32_t& facts, uint64_t& n,
                               uint64_t& work) {
  const bool fromSiblings = source.at(n);
  if (!fromSiblings && !countNode(p, work, facts, n)) return false;
  if (n > std::numeric_limits<uint64_t>::max() - tableCount_) return false;
  passTables(n);
  return true;
}

bool NetworkWalk::countRejected(int p, double low, double high, uint32_t facts, CountSource source,
                                NodeResult& out) {
  uint64_t n = 0;
  uint64_t work = 0;
  const bool counted = countAndPass(p, source, facts, n, work);
  // A count that did not end (too much work, or beyond 64 bits) leaves the
  // subtree to be walked: every table is counted before the next.
  largestRejectedWork_ = std::max(largestRejectedWork_, counted ? work : kRejectedWorkForTotal);
  if (!counted) return false;
  out.tables = n;
  roomOfRejected(low, high, out);
  return true;
}

WideReal NetworkWalk::closedForm(int p, uint32_t facts) {
  const OpenCells open{r_, c_, p / interiorRows_, p % interiorRows_, rowNeed_, colNeed_};
  Factorials factorials{*this};
  if (facts == SubtreeMemo::kNoFacts) return sums_.allCompletionsByProducts(open, factorials);
  KeyFacts& known = memo_.factsAt(facts);
  if (!known.sumKnown) {
    known.completions = sums_.allCompletionsByProducts(open, factorials);
    known.sumKnown = true;
  }
  return known.completions;
}

bool NetworkWalk::acceptWhole(int p, CountSource source, Judgement judged, uint32_t& facts,
                              ChildShares& shares, NodeResult& out) {
  const int32_t x = source.x;
  uint64_t n = 0;
  uint64_t work = 0;
  if (!countAndPass(p, source, facts, n, work)) return false;
  if (static_cast<uint64_t>(kMaxConditionCount - count_) < n) stopTooManyAcceptedTables();
  count_ += static_cast<int64_t>(n);
  out.tables += n;
  out.accepted += static_cast<int64_t>(n);
  // Its share: the child's closed form times 1/x! for its cell, and 1/y! for
  // the last row's when the child starts a column. A child whose key's facts
  // were found (to count it) keeps its closed form there; the others, in
  // the last interior column, take theirs by ratio from their siblings'.
  auto share = [&] {
    const int j = (p - 1) / interiorRows_;
    WideReal value = closedForm(p, facts) * inverseFactorial(x);
    if ((p - 1) % interiorRows_ == interiorRows_ - 1) {
      value = value * inverseFactorial(cells_[static_cast<size_t>((r_ - 1) * c_ + j)]);
    }
    return value;
  };
  out.relativeSum.add(facts != SubtreeMemo::kNoFacts ? share() : shares.at(x, share));
  out.acceptRange(judged.low, judged.high);
  out.keepRoom(range_.upper - judged.high, judged.low - range_.lower);
  return true;
}

std::span<const uint16_t> NetworkWalk::buildKey(int p) {
  const int i = p % interiorRows_;
  const int j = p / interiorRows_;
  uint16_t* key = key_.data();
  size_t n = 0;
  key[n++] = static_cast<uint16_t>(p);
  key[n++] = static_cast<uint16_t>(colNeed_[static_cast<size_t>(j)]);
  for (int k = 0; k < i; ++k) key[n++] = static_cast<uint16_t>(rowNeed_[static_cast<size_t>(k)]);
  sortSmall(key + 2, key + n);
  key[n++] = 0xffff;  // rows above and rows from i on apart
  const size_t open = n;
  for (int k = i; k < r_; ++k) key[n++] = static_cast<uint16_t>(rowNeed_[static_cast<size_t>(k)]);
  sortSmall(key + open, key + n);
  return {key, n};
}

NetworkWalk::Reuse NetworkWalk::reusable(const KeyFacts& facts) const {
  const std::span<const double> pasts = facts.storedPasts();
  if (pasts.empty()) return {};
  const double past = interiorSum_ + derivedSum_;
  const auto nearest =
      static_cast<size_t>(std::lower_bound(pasts.begin(), pasts.end(), past) - pasts.begin());
  // The same past to the bit: the tables pair off (the same open cells up
  // to an order of the rows), their sums within the reuse margin of one
  // another whatever the fixed cells that formed the past.
  for (size_t k = nearest; k < pasts.size() && pasts[k] == past; ++k) {
    const StoredSubtree& it = memo_.subtreeAt(facts, k);
    if (it.robust) return {&it, true, 0.0};
  }
  // Another past: the nearest stored one on either side, if its tables have
  // room to move by the difference and stay farther than the reuse margin
  // from the bounds (so that this node's own result stays robust).
  for (const size_t k : {nearest, nearest - 1}) {
    if (k >= pasts.size()) continue;  // past either end (nearest - 1 wraps)
    const StoredSubtree& it = memo_.subtreeAt(facts, k);
    const double moved = past - pasts[k];
    if (it.roomUp + moved - shiftMargin_ > reuseMargin_ &&
        it.roomDown - moved - shiftMargin_ > reuseMargin_) {
      return {&it, false, moved};
    }
  }
  return {};
}

bool NetworkWalk::takeFromMemo(const KeyFacts& facts, NodeResult& out) {
  const Reuse reuse = reusable(facts);
  const StoredSubtree* stored = reuse.stored;
  if (stored == nullptr) return false;
  // Where its accepted tables' log-probabilities now lie: the same up to the
  // reuse margin, or moved by the shift up to the shift's margin.
  const double margin = reuse.samePast ? reuseMargin_ : shiftMargin_;
  const double shift = reuse.shift;
  const double low = stored->acceptedLow - shift - margin;
  const double high = stored->acceptedHigh - shift + margin;
  if (stored->accepted > 0 && mayAct(low, high)) return false;
  if (stored->tables > std::numeric_limits<uint64_t>::max() - tableCount_) return false;
  passTables(stored->tables);
  if (kMaxConditionCount - count_ < stored->accepted) stopTooManyAcceptedTables();
  count_ += stored->accepted;
  out.tables = stored->tables;
  out.accepted = stored->accepted;
  if (stored->accepted > 0) {
    out.relativeSum.add(stored->relativeSum);
    // At the same past the range stays the stored one: every table of it has
    // the same exact sum as a stored table, so any later check that widens
    // the range by the reuse margin covers both (docs/rounding.md).
    if (reuse.samePast) {
      out.acceptRange(stored->acceptedLow, stored->acceptedHigh);
    } else {
      out.acceptRange(low, high);
    }
  }
  out.keepRoom(stored->roomUp + shift - margin, stored->roomDown - shift - margin);
  ++(reuse.samePast ? stats_.merged : stats_.shifted);
  return true;
}

void NetworkWalk::store(uint32_t facts, const NodeResult& result) {
  // A subtree is kept when a later node can reuse it: at the same past if
  // robust, at another if its tables have room beyond the margins.
  const bool roomy =
      result.roomUp > shiftMargin_ + reuseMargin_ && result.roomDown > shiftMargin_ + reuseMargin_;
  if (facts == SubtreeMemo::kNoFacts || (!result.robust && !roomy)) return;
  StoredSubtree stored;
  stored.tables = result.tables;
  stored.accepted = result.accepted;
  stored.relativeSum = result.relativeSum.value();
  stored.acceptedLow = result.acceptedLow;
  stored.acceptedHigh = result.acceptedHigh;
  stored.roomUp = result.roomUp;
  stored.roomDown = result.roomDown;
  stored.robust = result.robust;
  memo_.insert(memo_.factsAt(facts), interiorSum_ + derivedSum_, stored);
}

NodeResult NetworkWalk::walkNode(int p, CountSource source, Judgement judged, uint32_t& facts) {
  NodeResult out;
  const Verdict verdict = judged.verdict;
  const double low = judged.low;
  const double high = judged.high;
  // A rejected subtree needs counting only for the progress bar, which the
  // end of the pass brings up to date when the total is known. A test of
  // Fisher's meets few rejected subtrees and counts them one by one; a pass
  // that meets many has every table counted instead (countEveryTable).
  // (A subtree accepted whole was taken by its parent, unless it could not
  // be counted: then it is walked.)
  if (verdict == Verdict::kNoneAccepted) {
    if (countEveryTable()) {
      roomOfRejected(low, high, out);
      return out;
    }
    // In the last interior column a count is cheap and a key seldom comes
    // back: nodes there are counted without their key.
    const bool lastColumn = p / interiorRows_ == c_ - 2;
    const uint32_t known = lastColumn ? SubtreeMemo::kNoFacts : factsOf(p, facts);
    if (countRejected(p, low, high, known, source, out)) return out;
  }
  if (factsOf(p, facts) != SubtreeMemo::kNoFacts && takeFromMemo(memo_.factsAt(facts), out)) {
    return out;
  }
  out = walkChildren(p, facts);
  out.relativeSum.settle();  // read by the memo and by the parent
  store(facts, out);
  return out;
}

NetworkWalk::Children NetworkWalk::childrenOf(int p) const {
  const int i = p % interiorRows_;
  Children children{};
  children.row = static_cast<size_t>(i);
  children.column = static_cast<size_t>(p / interiorRows_);
  for (int k = i + 1; k < r_; ++k) children.below += rowNeed_[static_cast<size_t>(k)];
  children.need = colNeed_[children.column];
  children.first = std::max(0, children.need - children.below);
  children.last = std::min(children.need, rowNeed_[children.row]);
  children.endsColumn = i == interiorRows_ - 1;
  return children;
}

NodeResult NetworkWalk::walkChildren(int p, uint32_t facts) {
  if (p == positions_ - 1) return walkLeaf();
  ++stats_.nodes;
  const Children children = childrenOf(p);
  const size_t ui = children.row;
  const size_t uj = children.column;
  const int32_t need = children.need;
  const int32_t below = children.below;
  const int32_t first = children.first;
  const int32_t last = children.last;
  const bool endsColumn = children.endsColumn;
  const auto lastRow = static_cast<size_t>(r_ - 1);
  int16_t& cell = cells_[ui * static_cast<size_t>(c_) + uj];
  int16_t& derived = cells_[lastRow * static_cast<size_t>(c_) + uj];
  const double interiorBefore = interiorSum_;
  const double derivedBefore = derivedSum_;
  // The children's links: made by the first node of this key and next row's
  // need to be walked, read by the later ones.
  uint32_t links = KeyFacts::kNoLinks;
  bool making = false;
  if (facts != SubtreeMemo::kNoFacts) {
    KeyFacts& known = memo_.factsAt(facts);
    links = memo_.linksFor(known, rowNeed_[ui]);
    if (links == KeyFacts::kNoLinks) {
      links = memo_.addLinks(known, rowNeed_[ui], static_cast<size_t>(last - first + 1));
      making = links != KeyFacts::kNoLinks;
    }
  }
  ChildShares shares(need, rowNeed_[ui], below);
  // In the last interior column, every child's count from one product.
  std::optional<ChildCounts> childCounts;
  if (uj == static_cast<size_t>(c_ - 2) && !countScratch_.empty()) {
    childCounts.emplace(std::span<const int32_t>(rowNeed_).subspan(ui + 1), need, countStretch(ui));
  }
  // At the end of the column before it, every child's count from the other
  // rows' product and its running sums.
  std::optional<NextColumnCounts> nextColumnCounts;
  if (endsColumn && uj + 3 == static_cast<size_t>(c_) && !countScratch_.empty()) {
    const auto otherRows = static_cast<size_t>(r_ - 2);
    nextColumnCounts.emplace(std::span<const int32_t>(rowNeed_).first(otherRows), colNeed_[uj + 1],
                             rowNeed_[ui], rowNeed_[lastRow], need, countStretch(interiorRows_));
  }
  const CountSource childSource{childCounts.has_value() ? &*childCounts : nullptr,
                                nextColumnCounts.has_value() ? &*nextColumnCounts : nullptr, 0};
  NodeResult out;
  for (int32_t x = first; x <= last; ++x) {
    cell = static_cast<int16_t>(x);
    rowNeed_[ui] -= x;
    colNeed_[uj] -= x;
    interiorSum_ = interiorBefore + lf_[x];
    int32_t y = 0;
    if (endsColumn) {
      y = colNeed_[uj];
      derived = static_cast<int16_t>(y);
      rowNeed_[lastRow] -= y;
      derivedSum_ = derivedBefore + lf_[y];
    }
    const uint32_t at = links + static_cast<uint32_t>(x - first);
    SumBounds bounds;
    uint32_t childFacts = SubtreeMemo::kNoFacts;
    if (links == KeyFacts::kNoLinks || making) {
      bounds = boundChild(p + 1, childFacts);
      if (making) memo_.link(at) = {bounds.least, bounds.greatest, childFacts};
    } else {
      bounds = {memo_.link(at).least, memo_.link(at).greatest};
      childFacts = memo_.link(at).facts;
    }
    const Judgement judged = judge(bounds);
    if (judged.verdict != Verdict::kAllAccepted ||
        !acceptWhole(p + 1, childSource.child(x), judged, childFacts, shares, out)) {
      WideReal factor = inverseFactorial(x);
      if (endsColumn) factor = factor * inverseFactorial(y);
      absorb(out, walkNode(p + 1, childSource.child(x), judged, childFacts), factor);
    }
    if (links != KeyFacts::kNoLinks) memo_.link(at).facts = childFacts;
    if (endsColumn) rowNeed_[lastRow] += y;
    rowNeed_[ui] += x;
    colNeed_[uj] += x;
  }
  interiorSum_ = interiorBefore;
  derivedSum_ = derivedBefore;
  return out;
}

NodeResult NetworkWalk::walkLeaf() {
  ++stats_.nodes;
  const auto c = static_cast<size_t>(c_);
  const auto lastRow = static_cast<size_t>(r_ - 1);
  const LeafCells leaf{(lastRow - 1) * c + c - 2, colNeed_[c - 2], rowNeed_[lastRow - 1],
                       rowNeed_[lastRow]};
  const int32_t first = std::max(0, leaf.need - leaf.below);
  const int32_t last = std::min(leaf.need, leaf.above);
  // The last column above the last interior row is fixed here.
  for (size_t k = 0; k + 1 < lastRow; ++k)
    cells_[k * c + c - 1] = static_cast<int16_t>(rowNeed_[k]);
  // A table's sum takes the interior cells, then the last row, then the last
  // column, then the corner. Between the cells that move with x it adds the
  // last row's other cells and the last column's, the same for every table:
  // read once. ln 0! = ln 1! = 0 adds nothing to a sum of them (at least 0),
  // so those are left out, and the moving cells' added whatever they are.
  std::array<double, kMostRows> rowFixed;
  std::array<double, kMostRows> columnFixed;
  size_t rowTerms = 0;
  size_t columnTerms = 0;
  for (size_t l = 0; l + 2 < c; ++l) {
    const int16_t v = cells_[lastRow * c + l];
    if (v >= 2) rowFixed[rowTerms++] = lf_[v];
  }
  for (size_t k = 0; k + 1 < lastRow; ++k) {
    const int16_t v = cells_[k * c + c - 1];
    if (v >= 2) columnFixed[columnTerms++] = lf_[v];
  }
  auto logProbOf = [&](int32_t x) {
    double sum = interiorSum_ + lf_[x];
    for (size_t k = 0; k < rowTerms; ++k) sum += rowFixed[k];
    sum += lf_[leaf.need - x];
    for (size_t k = 0; k < columnTerms; ++k) sum += columnFixed[k];
    sum += lf_[leaf.above - x];
    return lmc_ - (sum + lf_[leaf.below - leaf.need + x]);
  };
  // The first table's product of 1/x! over the node's open cells (the last
  // interior cell, the last row's cell under it, the last column), and the
  // next ones by their ratio: one step of x takes one from the last row's
  // cell and the last column's, and adds one to x and the corner. The terms
  // are kept as double-doubles times 2^scale, and the accepted ones summed
  // so, brought back to scale when they stray far from 1.
  setLeafCells(leaf, first);
  int16_t open[2 + 2 * kMostRows];
  size_t n = 0;
  open[n++] = cells_[leaf.cell];
  open[n++] = cells_[leaf.cell + c];
  for (size_t k = 0; k <= lastRow; ++k) open[n++] = cells_[k * c + c - 1];
  WideReal start = inverseFactorial(open[0]);
  for (size_t k = 1; k < n; ++k) start = start * inverseFactorial(open[k]);
  DoubleDouble term = start.mantissa;
  int64_t scale = start.exponent;
  DoubleDouble accepted{};
  NodeResult out;
  for (int32_t x = first; x <= last; ++x) {
    if (visitTable(leaf, x, logProbOf(x), out)) accepted = sumWithoutCancellation(accepted, term);
    const double down = static_cast<double>(int64_t{leaf.need - x} * int64_t{leaf.above - x});
    const double up = static_cast<double>(int64_t{x + 1} * int64_t{leaf.below - leaf.need + x + 1});
    term = term * down / up;
    if (!(std::fabs(term.hi) >= 0x1p-600 && std::fabs(term.hi) <= 0x1p600)) [[unlikely]] {
      if (accepted.hi != 0.0) out.relativeSum.add(toWide(accepted, scale));
      accepted = {};
      const WideReal scaled = toWide(term, scale);
      term = scaled.mantissa;
      scale = scaled.exponent;
    }
  }
  if (accepted.hi != 0.0) out.relativeSum.add(toWide(accepted, scale));
  return out;
}

void NetworkWalk::setLeafCells(const LeafCells& leaf, int32_t x) {
  const auto c = static_cast<size_t>(c_);
  cells_[leaf.cell] = static_cast<int16_t>(x);
  cells_[leaf.cell + c] = static_cast<int16_t>(leaf.need - x);                     // last row
  cells_[leaf.cell + 1] = static_cast<int16_t>(leaf.above - x);                    // last column
  cells_[leaf.cell + c + 1] = static_cast<int16_t>(leaf.below - (leaf.need - x));  // corner
}

bool NetworkWalk::visitTable(const LeafCells& leaf, int32_t x, double logProb, NodeResult& out) {
  ++stats_.visitedTables;
  ++tableCount_;
  ++out.tables;
  if (tableCount_ >= progress_.nextMarkAt()) progress_.reach(tableCount_);
  if (nearEdge(logProb)) out.robust = false;
  roomOfTable(logProb, out);
  if (!accepts(logProb)) return false;
  if (++count_ > kMaxConditionCount) stopTooManyAcceptedTables();
  ++out.accepted;
  out.acceptRange(logProb, logProb);
  const LogBand band = toleranceBand(logProb);
  if (band.low > thresholds_.maxLog || band.low >= thresholds_.highEntry ||
      band.high <= thresholds_.lowEntry) {
    setLeafCells(leaf, x);
    const CellsView view{cells_.data(), r_ * c_};
    thresholds_ = sink_.take(logProb, band, TableView(view));
  }
  return true;
}

bool NetworkWalk::countEveryTable() {
  if (!totalTried_ && largestRejectedWork_ >= kRejectedWorkForTotal) {
    totalTried_ = true;
    const OpenCells whole{r_, c_, 0, 0, rowMargin_, colMargin_};
    const CompletionCount count = counter_.count(whole, totalCountWork_);
    if (count.exact() && count.value <= std::numeric_limits<uint64_t>::max()) {
      total_ = static_cast<uint64_t>(count.value);
    }
  }
  return total_.has_value();
}

NetworkOutcome NetworkWalk::run() {
  uint32_t rootFacts = SubtreeMemo::kNoFacts;
  NodeResult root = walkNode(0, CountSource{}, judge(boundNode(0)), rootFacts);
  if (total_.has_value()) {
    // The tables not counted on the way (rejected subtrees), and their marks.
    passTables(*total_ - tableCount_);
  }
  stats_.tableCount = tableCount_;
  stats_.count = count_;
  stats_.sum = root.accepted > 0 ? sums_.absolute(root.relativeSum.value()) : WideReal{};
  return stats_;
}

}  // namespace

bool networkWalkFits(const Problem& problem, uint64_t stackBytes) {
  const auto levels = static_cast<uint64_t>((problem.r - 1) * (problem.c - 1));
  return problem.r <= kMostRows && levels * kStackPerLevel <= stackBytes / 2;
}

NetworkOutcome runNetworkWalk(const Problem& problem, AcceptedRange range, AcceptedTableSink& sink,
                              ProgressBar& progress, MemoryBudget* budget, uint64_t memoCapBytes,
                              uint64_t totalCountWork) {
  // The memos take at most a quarter of what the run's budget has left, so
  // that the kept lists, which grow during the pass, keep their room.
  if (budget != nullptr) memoCapBytes = std::min(memoCapBytes, budget->available() / 4);
  NetworkWalk walk(problem, range, sink, progress, budget, memoCapBytes, totalCountWork);
  return walk.run();
}

}  // namespace rxc
