// The numbers of completions of the children of a node of the network walk
// in the last interior column, or at the end of the column before it, found
// together.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <span>

namespace rxc {

// Room for the counts of one node's children: values of 128 bits, and of 64
// for the nodes whose counts are known to fit in them, whose sums then cost
// half as much.
struct CountScratch {
  std::span<unsigned __int128> wide;
  std::span<uint64_t> narrow;
};

// Whether `factor` times the product over `caps` of (1 + min(cap, top))
// stays below 2^64: a bound on the ways to place up to `top` under the caps
// (and on `factor` times their running sums).
inline bool fitsIn64Bits(std::span<const int32_t> caps, std::size_t top, uint64_t factor) {
  unsigned __int128 bound = factor;
  for (const int32_t cap : caps) {
    bound *= std::min(static_cast<std::size_t>(cap), top) + 1;
    if (bound >> 63 != 0) return false;
  }
  return true;
}

// The coefficients of t^0 .. t^(ways.size() - 1) in the product over `caps`
// of (1 + t + ... + t^cap). In 64 bits the caller has made sure that they fit
// (fitsIn64Bits). In 128, each is kept at most 2^64 (a larger one is kept as
// 2^64, which no count takes), so that their running sums never overflow; a
// coefficient cut to 2^64 stays at least 2^64 through every later factor
// (each coefficient adds into its own place), so a cut shows at the end as a
// value of 2^64.
template <class Value>
void placeUnderCaps(std::span<const int32_t> caps, std::span<Value> ways) {
  constexpr bool kWide = sizeof(Value) > sizeof(uint64_t);
  const std::size_t top = ways.size() - 1;
  ways[0] = 1;
  std::size_t reach = 0;  // the highest place that may be non-zero
  for (const int32_t cap : caps) {
    const auto width = static_cast<std::size_t>(cap);
    // Running sums up to `reach`, in place; then, from the top down, place n
    // takes the sum of places n - cap .. n as a difference of two of them
    // (places above `reach` hold nothing), which reads only places below n.
    for (std::size_t m = 1; m <= reach; ++m) ways[m] += ways[m - 1];
    const std::size_t grown = std::min(top, reach + width);
    for (std::size_t n = grown + 1; n-- > 0;) {
      Value sum = ways[std::min(n, reach)];
      if (n > width) sum -= ways[n - width - 1];
      if constexpr (kWide) {
        ways[n] = std::min(sum, Value{1} << 64);
      } else {
        ways[n] = sum;
      }
    }
    reach = grown;
  }
  for (std::size_t n = reach + 1; n <= top; ++n) ways[n] = 0;
}

// Below a node in the last interior column, a completion places what the
// column still needs among the rows below the node's cell, the last row's
// included, each row at most what it still needs; the last column then takes
// what every row has left. So child x (the node's cell taking x) has as many
// completions as there are ways to place need - x under those caps: the
// coefficient of t^(need - x) in the product over the rows below of
// (1 + t + ... + t^cap). One product, made when the first child asks, gives
// every child's count, where counting each child on its own took a search.
class ChildCounts {
 public:
  using Wide = unsigned __int128;

  // `capsBelow`: what each row below the node's cell still needs. `scratch`
  // has room for need + 1 values and is the node's own while it lives.
  ChildCounts(std::span<const int32_t> capsBelow, int32_t need, CountScratch scratch)
      : caps_(capsBelow),
        need_(need),
        narrow_(fitsIn64Bits(capsBelow, static_cast<std::size_t>(need), 1)),
        wide_(scratch.wide.first(static_cast<std::size_t>(need) + 1)),
        small_(scratch.narrow.first(static_cast<std::size_t>(need) + 1)) {}

  // Child x's count, if it fits in 64 bits.
  bool at(int32_t x, uint64_t& out) {
    if (!made_) make();
    const auto place = static_cast<std::size_t>(need_ - x);
    if (narrow_) {
      out = small_[place];
      return true;
    }
    const Wide ways = wide_[place];
    if (ways > std::numeric_limits<uint64_t>::max()) return false;
    out = static_cast<uint64_t>(ways);
    return true;
  }

 private:
  void make() {
    made_ = true;
    if (narrow_) {
      placeUnderCaps(caps_, small_);
    } else {
      placeUnderCaps(caps_, wide_);
    }
  }

  std::span<const int32_t> caps_;
  int32_t need_;
  bool narrow_;  // every count fits in 64 bits: `small_` holds them
  std::span<Wide> wide_;
  std::span<uint64_t> small_;
  bool made_ = false;
};

// The numbers of completions of the children of a node that ends the column
// before the last interior one, found together. Each child starts the last
// interior column, and a completion places that column's need C among all
// the rows, each at most what it still needs. Child x (the node's cell x,
// the last row's cell need - x) leaves two caps of its own: its row's R - x
// and the last row's B - need + x. With P the product over the other rows
// of (1 + t + ... + t^cap), its count is the sum of P's coefficients at
// C - a - b for a <= R - x and b <= B - need + x: four reads of P's running
// sums taken twice.
class NextColumnCounts {
 public:
  using Wide = unsigned __int128;

  // `otherCaps`: what the rows other than the node's and the last still
  // need; `columnNeed`: what the last interior column needs; `rowNeed`,
  // `lastRowNeed`: what the node's row and the last row need; `need`: what
  // the node's column needs. `scratch` has room for columnNeed + 1 values.
  NextColumnCounts(std::span<const int32_t> otherCaps, int32_t columnNeed, int32_t rowNeed,
                   int32_t lastRowNeed, int32_t need, CountScratch scratch)
      : caps_(otherCaps),
        rowNeed_(rowNeed),
        lastRowNeed_(lastRowNeed),
        need_(need),
        // The running sums taken twice are at most C + 1 times P's total.
        narrow_(fitsIn64Bits(otherCaps, static_cast<std::size_t>(columnNeed),
                             static_cast<uint64_t>(columnNeed) + 1)),
        wide_(scratch.wide.first(static_cast<std::size_t>(columnNeed) + 1)),
        small_(scratch.narrow.first(static_cast<std::size_t>(columnNeed) + 1)) {}

  // Child x's count, if it fits in 64 bits.
  bool at(int32_t x, uint64_t& out) {
    if (!made_) make();
    if (refused_) return false;
    const auto top = static_cast<int64_t>(wide_.size()) - 1;
    const int64_t own = rowNeed_ - x;               // a <= own
    const int64_t last = lastRowNeed_ - need_ + x;  // b <= last
    if (narrow_) {
      out = countFrom(small_, top, own, last);
      return true;
    }
    const Wide ways = countFrom(wide_, top, own, last);
    if (ways > std::numeric_limits<uint64_t>::max()) return false;
    out = static_cast<uint64_t>(ways);
    return true;
  }

 private:
  // Unsigned arithmetic wraps, and every running sum fits (below 2^127, or
  // 2^64 when narrow), so the difference comes out exact.
  template <class Value>
  static Value countFrom(std::span<const Value> sums, int64_t top, int64_t own, int64_t last) {
    auto sumTo = [&](int64_t k) { return k < 0 ? Value{0} : sums[static_cast<std::size_t>(k)]; };
    return sumTo(top) - sumTo(top - own - 1) - sumTo(top - last - 1) + sumTo(top - own - last - 2);
  }
  template <class Value>
  static Value countFrom(std::span<Value> sums, int64_t top, int64_t own, int64_t last) {
    return countFrom(std::span<const Value>(sums), top, own, last);
  }

  template <class Value>
  static void accumulateTwice(std::span<Value> sums) {
    for (int pass = 0; pass < 2; ++pass) {
      for (std::size_t k = 1; k < sums.size(); ++k) sums[k] += sums[k - 1];
    }
  }

  // P's coefficients, then their running sums twice, in place. In 128 bits,
  // with every coefficient at most 2^64 and C below 2^31, the sums stay
  // below 2^127; a coefficient cut to 2^64 refuses every child.
  void make() {
    made_ = true;
    if (narrow_) {
      placeUnderCaps(caps_, small_);
      accumulateTwice(small_);
      return;
    }
    placeUnderCaps(caps_, wide_);
    constexpr Wide kTooMany = Wide{1} << 64;
    refused_ = std::any_of(wide_.begin(), wide_.end(), [](Wide w) { return w >= kTooMany; });
    accumulateTwice(wide_);
  }

  std::span<const int32_t> caps_;
  int64_t rowNeed_, lastRowNeed_, need_;
  bool narrow_;  // every running sum fits in 64 bits: `small_` holds them
  std::span<Wide> wide_;
  std::span<uint64_t> small_;
  bool made_ = false;
  bool refused_ = false;
};

// Where a node's count may come from: its parent's ChildCounts or
// NextColumnCounts, as child x (none at the root, nor elsewhere).
struct CountSource {
  ChildCounts* counts = nullptr;
  NextColumnCounts* nextColumn = nullptr;
  int32_t x = 0;

  // The same source for the child whose cell takes `value`.
  CountSource child(int32_t value) const { return {counts, nextColumn, value}; }

  bool at(uint64_t& out) const {
    if (counts != nullptr) return counts->at(x, out);
    return nextColumn != nullptr && nextColumn->at(x, out);
  }
};

}  // namespace rxc
