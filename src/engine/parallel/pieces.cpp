#include "engine/parallel/pieces.h"

#include "engine/bounds/cell_bounds.h"

namespace rxc {

namespace {

// Lists the prefixes of `depth` interior positions in generation order, each
// value between the bounds that the positions before it leave (the same
// bounds as the enumeration's); stops past `most`.
class PrefixLister {
 public:
  PrefixLister(const Problem& problem, int depth, size_t most)
      : p_(problem), h_(problem.r - 1), depth_(depth), most_(most) {
    const size_t positions = static_cast<size_t>(depth);
    cell_.assign(positions, 0);
    colRest_.assign(positions, 0);
    rowRest_.assign(positions, 0);
    rest_.assign(positions, 0);
    int32_t suffix = 0;
    colSuffix_.assign(static_cast<size_t>(problem.c), 0);
    for (int j = problem.c - 1; j >= 0; --j) {
      suffix += problem.colMargin[j];
      colSuffix_[j] = suffix;
    }
  }

  // False when there were more than `most`.
  bool list(std::vector<int16_t>& out) {
    out.clear();
    return place(0, out);
  }

 private:
  bool place(int q, std::vector<int16_t>& out) {
    if (q == depth_) {
      if (out.size() / static_cast<size_t>(depth_) >= most_) return false;
      out.insert(out.end(), cell_.begin(), cell_.end());
      return true;
    }
    const int i = q % h_;
    const int j = q / h_;
    const int32_t cr = i == 0 ? p_.colMargin[j] : colRest_[q - 1] - cell_[q - 1];
    const int32_t t = i == 0 ? colSuffix_[j] : rest_[q - 1] - rowRest_[q - 1];
    const int32_t rr = j == 0 ? p_.rowMargin[i] : rowRest_[q - h_] - cell_[q - h_];
    colRest_[q] = cr;
    rowRest_[q] = rr;
    rest_[q] = t;
    const int32_t low = cellLow(cr, rr, t);
    const int32_t high = cellHigh(cr, rr);
    for (int32_t x = low; x <= high; ++x) {
      cell_[q] = static_cast<int16_t>(x);
      if (!place(q + 1, out)) return false;
    }
    return true;
  }

  const Problem& p_;
  const int h_;
  const int depth_;
  const size_t most_;
  std::vector<int16_t> cell_;
  std::vector<int32_t> colRest_, rowRest_, rest_, colSuffix_;
};

}  // namespace

PiecePlan planPieces(const Problem& problem, size_t target, size_t most, int depthLimit) {
  PiecePlan plan;
  std::vector<int16_t> prefixes;
  for (int depth = 1; depth <= depthLimit; ++depth) {
    PrefixLister lister(problem, depth, most);
    if (!lister.list(prefixes)) break;  // too many: keep the shallower split
    plan.depth = depth;
    plan.prefixes = prefixes;
    if (plan.count() >= target) break;
  }
  if (plan.depth > 0 && plan.count() < 2) plan = PiecePlan{};
  return plan;
}

}  // namespace rxc
