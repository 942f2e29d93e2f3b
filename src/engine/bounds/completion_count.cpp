#include "engine/bounds/completion_count.h"

#include <algorithm>
#include <array>
#include <bit>
#include <numeric>

#include "base/debug_checks.h"
#include "base/small_sort.h"

namespace rxc {

namespace {

using Count = unsigned __int128;

// Counts that do not fit are held as this value (so 2^128 - 1 itself is
// reported as not fitting too).
constexpr Count kSaturated = ~Count{0};

constexpr int kMaxRows = 100;
// A memo key: a tag, the column, the size of the first group and the needs.
constexpr int kMaxKey = kMaxRows + 3;

Count addSaturating(Count a, Count b) {
  if (a == kSaturated || b == kSaturated) return kSaturated;
  const Count sum = a + b;
  return sum < a ? kSaturated : sum;
}

// A sum of up to 2^64 counts of 128 bits, held exactly: the window sums of
// the bounded compositions, which add and take away counts.
struct WideSum {
  Count low = 0;
  uint64_t high = 0;
  void add(Count v) {
    low += v;
    if (low < v) ++high;
  }
  void subtract(Count v) {
    if (low < v) --high;
    low -= v;
  }
  Count saturated() const { return high != 0 ? kSaturated : low; }
};

// Tags that keep the two kinds of memo keys apart.
enum KeyTag : uint16_t { kColumnsKey = 0, kPartialKey = 1 };

// The needs of rows first .. last - 1, sorted, zeros dropped; returns how many.
int sortedNeeds(std::span<const int32_t> need, int first, int last, uint16_t* out) {
  int n = 0;
  for (int i = first; i < last; ++i) {
    RXC_DEBUG_ASSERT(need[i] >= 0 && need[i] <= 0xffff);
    if (need[i] > 0) out[n++] = static_cast<uint16_t>(need[i]);
  }
  sortSmall(out, out + n);
  return n;
}

}  // namespace

struct CompletionCounter::Walk {
  uint64_t work = 0;
  uint64_t limit = 0;
  // Charges `steps` of work; false once the limit is passed.
  bool charge(uint64_t steps) {
    work += steps;
    return work <= limit;
  }
};

CompletionCounter::CompletionCounter(std::span<const int32_t> colMargin)
    : CompletionCounter(colMargin, Limits{}) {}

CompletionCounter::CompletionCounter(std::span<const int32_t> colMargin, Limits limits)
    : colMargin_(colMargin.begin(), colMargin.end()),
      limits_(limits),
      memo_(limits.memoEntries, limits.memoKeyValues) {}

CompletionCount CompletionCounter::count(const OpenCells& open) {
  return count(open, limits_.workPerCall);
}

CompletionCount CompletionCounter::count(const OpenCells& open, uint64_t workLimit) {
  RXC_DEBUG_ASSERT(open.rows >= 2 && open.rows <= kMaxRows);
  RXC_DEBUG_ASSERT(open.cols == static_cast<int>(colMargin_.size()));
  RXC_DEBUG_ASSERT(open.column >= 0 && open.column < open.cols);
  RXC_DEBUG_ASSERT(open.firstRow >= 0 && open.firstRow < open.rows);
  Walk walk{0, workLimit};
  Count value = 0;
  bool finished;
  const int32_t need = open.colNeed[open.column];
  if (open.firstRow == 0 && need == colMargin_[open.column]) {
    std::array<uint16_t, kMaxRows> needs;
    const int n = sortedNeeds(open.rowNeed, 0, open.rows, needs.data());
    finished = countColumns(open.column, {needs.data(), static_cast<size_t>(n)}, walk, value);
  } else {
    std::array<uint16_t, kMaxRows> closed;
    std::array<uint16_t, kMaxRows> lower;
    const int nClosed = sortedNeeds(open.rowNeed, 0, open.firstRow, closed.data());
    const int nLower = sortedNeeds(open.rowNeed, open.firstRow, open.rows, lower.data());
    finished = countPartial(open.column, {closed.data(), static_cast<size_t>(nClosed)},
                            {lower.data(), static_cast<size_t>(nLower)}, need, walk, value);
  }
  if (!finished) return {CompletionCount::Status::kTooCostly, 0};
  if (value == kSaturated) return {CompletionCount::Status::kTooLarge, 0};
  return {CompletionCount::Status::kExact, value};
}

bool CompletionCounter::countColumns(int j, std::span<const uint16_t> needs, Walk& walk,
                                     Count& out) {
  const int cols = static_cast<int>(colMargin_.size());
  // The last column takes what every row still needs; with nothing left
  // every remaining cell is 0.
  if (j == cols - 1 || needs.empty()) {
    out = 1;
    return true;
  }
  std::array<uint16_t, kMaxKey> keyValues;
  keyValues[0] = kColumnsKey;
  keyValues[1] = static_cast<uint16_t>(j);
  std::copy(needs.begin(), needs.end(), keyValues.begin() + 2);
  const std::span<const uint16_t> key(keyValues.data(), needs.size() + 2);
  if (const auto found = memo_.find(key)) {
    out = *found;
    return true;
  }
  Count total = 0;
  if (j == cols - 2) {
    // Column j takes its margin from the rows; the last column the rest.
    if (!boundedCompositions(needs, colMargin_[j], walk, total)) return false;
  } else {
    const bool finished =
        forEachFill({}, needs, colMargin_[j], walk, [&](std::span<const uint16_t> left) {
          Count sub = 0;
          if (!countColumns(j + 1, left, walk, sub)) return false;
          total = addSaturating(total, sub);
          return true;
        });
    if (!finished) return false;
  }
  memo_.insert(key, total);
  out = total;
  return true;
}

bool CompletionCounter::countPartial(int j, std::span<const uint16_t> closed,
                                     std::span<const uint16_t> open, int32_t need, Walk& walk,
                                     Count& out) {
  const int cols = static_cast<int>(colMargin_.size());
  if (j == cols - 1) {
    out = 1;
    return true;
  }
  if (j == cols - 2) {
    // The closed rows give all they need to the last column.
    return boundedCompositions(open, need, walk, out);
  }
  std::array<uint16_t, 2 * kMaxKey> keyValues;
  keyValues[0] = kPartialKey;
  keyValues[1] = static_cast<uint16_t>(j);
  keyValues[2] = static_cast<uint16_t>(closed.size());
  std::copy(closed.begin(), closed.end(), keyValues.begin() + 3);
  std::copy(open.begin(), open.end(), keyValues.begin() + 3 + closed.size());
  const std::span<const uint16_t> key(keyValues.data(), 3 + closed.size() + open.size());
  if (const auto found = memo_.find(key)) {
    out = *found;
    return true;
  }
  Count total = 0;
  const bool finished = forEachFill(closed, open, need, walk, [&](std::span<const uint16_t> left) {
    Count sub = 0;
    if (!countColumns(j + 1, left, walk, sub)) return false;
    total = addSaturating(total, sub);
    return true;
  });
  if (!finished) return false;
  memo_.insert(key, total);
  out = total;
  return true;
}

bool CompletionCounter::boundedCompositions(std::span<const uint16_t> caps, int32_t total,
                                            Walk& walk, Count& out) {
  // The coefficient of t^total in the product over the rows of
  // (1 + t + ... + t^cap). Taking `total` is the same as leaving the rest,
  // so the smaller of the two is counted.
  const int64_t all = std::accumulate(caps.begin(), caps.end(), int64_t{0});
  if (total < 0 || total > all) {
    out = 0;
    return true;
  }
  const int64_t k = std::min<int64_t>(total, all - total);
  if (caps.size() <= kClosedFormCaps && k <= kClosedFormTotal) {
    // Few rows: inclusion and exclusion over the caps a part would pass. The
    // parts that add up to k, each at least cap + 1 in the rows of a subset
    // S, number C(k - sum over S of (cap + 1) + n - 1, n - 1). With k at most
    // kClosedFormTotal, C(k + 3, 3) times k + 3 stays inside 64 bits.
    const auto n = static_cast<int>(caps.size());
    if (!walk.charge(uint64_t{1} << n)) return false;
    int64_t count = 0;
    for (unsigned subset = 0; subset < (1u << n); ++subset) {
      int64_t rest = k;
      for (int i = 0; i < n; ++i) {
        if (subset & (1u << i)) rest -= int64_t{caps[static_cast<std::size_t>(i)]} + 1;
      }
      if (rest < 0) continue;
      // C(rest + n - 1, n - 1), built up one factor at a time (exact).
      int64_t ways = 1;
      for (int f = 1; f < n; ++f) ways = ways * (rest + f) / f;
      count += (std::popcount(subset) % 2 == 0) ? ways : -ways;
    }
    out = static_cast<Count>(count);
    return true;
  }
  if (!walk.charge(static_cast<uint64_t>(caps.size()) * static_cast<uint64_t>(k + 1))) {
    return false;
  }
  const auto size = static_cast<std::size_t>(k + 1);
  polynomial_.assign(size, 0);
  nextPolynomial_.resize(size);
  polynomial_[0] = 1;
  for (const uint16_t cap : caps) {
    // next[s] = sum of polynomial[s - x] for x = 0 .. cap, as a sliding window.
    WideSum window;
    int64_t saturatedInWindow = 0;
    for (int64_t s = 0; s <= k; ++s) {
      const Count entering = polynomial_[static_cast<std::size_t>(s)];
      if (entering == kSaturated) {
        ++saturatedInWindow;
      } else {
        window.add(entering);
      }
      const int64_t leavingAt = s - cap - 1;
      if (leavingAt >= 0) {
        const Count leaving = polynomial_[static_cast<std::size_t>(leavingAt)];
        if (leaving == kSaturated) {
          --saturatedInWindow;
        } else {
          window.subtract(leaving);
        }
      }
      nextPolynomial_[static_cast<std::size_t>(s)] =
          saturatedInWindow > 0 ? kSaturated : window.saturated();
    }
    polynomial_.swap(nextPolynomial_);
  }
  out = polynomial_[static_cast<std::size_t>(k)];
  return true;
}

template <class Visit>
bool CompletionCounter::forEachFill(std::span<const uint16_t> prefix,
                                    std::span<const uint16_t> from, int32_t need, Walk& walk,
                                    Visit&& visit) {
  const int m = static_cast<int>(from.size());
  // room[i]: what rows i .. m - 1 can give together.
  std::array<int32_t, kMaxRows + 1> room;
  room[static_cast<std::size_t>(m)] = 0;
  for (int i = m - 1; i >= 0; --i) room[i] = room[i + 1] + from[i];
  if (need < 0 || need > room[0]) return true;  // no way at all
  std::array<uint16_t, kMaxRows> left;          // what each row of `from` keeps
  std::array<uint16_t, kMaxRows> leftover;
  auto fill = [&](auto& self, int i, int32_t remaining) -> bool {
    if (i == m) {
      if (!walk.charge(1)) return false;
      std::copy(prefix.begin(), prefix.end(), leftover.begin());
      std::size_t n = prefix.size();
      for (int t = 0; t < m; ++t) {
        if (left[t] > 0) leftover[n++] = left[t];
      }
      sortSmall(leftover.data(), leftover.data() + n);
      return visit(std::span<const uint16_t>(leftover.data(), n));
    }
    // Row i gives x: enough that the rows after it can give the rest.
    const int32_t lo = std::max(0, remaining - room[i + 1]);
    const int32_t hi = std::min<int32_t>(from[i], remaining);
    for (int32_t x = lo; x <= hi; ++x) {
      left[i] = static_cast<uint16_t>(from[i] - x);
      if (!self(self, i + 1, remaining - x)) return false;
    }
    return true;
  };
  return fill(fill, 0, need);
}

}  // namespace rxc
