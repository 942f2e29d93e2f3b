// The numbers of completions of the children of a node of the network walk
// in the last interior column, found together.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <span>

namespace rxc {

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
  ChildCounts(std::span<const int32_t> capsBelow, int32_t need, std::span<Wide> scratch)
      : caps_(capsBelow), need_(need), ways_(scratch.first(static_cast<std::size_t>(need) + 1)) {}

  // Child x's count, if it fits in 64 bits.
  bool at(int32_t x, uint64_t& out) {
    if (!made_) make();
    const Wide ways = ways_[static_cast<std::size_t>(need_ - x)];
    if (ways > std::numeric_limits<uint64_t>::max()) return false;
    out = static_cast<uint64_t>(ways);
    return true;
  }

 private:
  // The coefficients up to t^need, each at most 2^64 (a larger count is
  // kept as 2^64, which no answer takes), so that their running sums never
  // overflow 128 bits.
  void make() {
    made_ = true;
    constexpr Wide kTooMany = Wide{1} << 64;
    std::fill(ways_.begin(), ways_.end(), Wide{0});
    ways_[0] = 1;
    for (const int32_t cap : caps_) {
      // In place, from the top: ways[n] becomes the sum of ways[n - cap .. n],
      // read as running sums from the bottom.
      Wide window = 0;
      const auto top = static_cast<std::size_t>(need_);
      const auto width = static_cast<std::size_t>(cap);
      // The window's sum for n = top, then slid down one place at a time.
      for (std::size_t m = top - std::min(top, width); m <= top; ++m) window += ways_[m];
      for (std::size_t n = top + 1; n-- > 0;) {
        const Wide sum = window;
        window -= ways_[n];
        if (n > width) window += ways_[n - width - 1];
        ways_[n] = std::min(sum, kTooMany);
      }
    }
  }

  std::span<const int32_t> caps_;
  int32_t need_;
  std::span<Wide> ways_;
  bool made_ = false;
};

// Where a node's count may come from: its parent's ChildCounts, as child x
// (none at the root, nor outside the last interior column).
struct CountSource {
  ChildCounts* counts = nullptr;
  int32_t x = 0;
};

}  // namespace rxc
