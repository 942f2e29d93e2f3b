#include "engine/condition/network_bounds.h"

#include <algorithm>
#include <limits>

namespace rxc {

namespace {

constexpr uint16_t kSeparator = 0xffff;

unsigned __int128 addSaturated(unsigned __int128 a, unsigned __int128 b) {
  const unsigned __int128 sum = a + b;
  return sum < a ? NetworkBounds::kTooMany : sum;
}

// Inserts `v` into the sorted run [first, last) of `key`, unless it is 0.
void insertKeySorted(std::vector<uint16_t>& key, std::size_t first, std::size_t last, uint16_t v) {
  if (v == 0) return;
  const auto begin = key.begin() + static_cast<std::ptrdiff_t>(first);
  const auto end = key.begin() + static_cast<std::ptrdiff_t>(last);
  key.insert(std::upper_bound(begin, end, v), v);
}

}  // namespace

NetworkBounds::NetworkBounds(std::span<const int16_t> colMargin, const double* logFactorial,
                             MemoryBudget* budget, uint64_t capBytes, uint64_t workLimit)
    : colMargin_(colMargin.begin(), colMargin.end()),
      lf_(logFactorial),
      memo_(budget, capBytes),
      workLimit_(workLimit) {}

KeyValues* NetworkBounds::values(int j, int32_t need, std::span<const int32_t> done,
                                 std::span<const int32_t> open) {
  std::vector<uint16_t>& key = scratch_;
  key.clear();
  key.push_back(static_cast<uint16_t>(j));
  key.push_back(static_cast<uint16_t>(need));
  for (int32_t v : done) {
    if (v != 0) key.push_back(static_cast<uint16_t>(v));
  }
  std::sort(key.begin() + 2, key.end());
  key.push_back(kSeparator);
  const std::size_t openStart = key.size();
  for (int32_t v : open) {
    if (v != 0) key.push_back(static_cast<uint16_t>(v));
  }
  std::sort(key.begin() + static_cast<std::ptrdiff_t>(openStart), key.end());
  work_ = 0;
  KeyValues found;
  if (!valuesOf(key, found)) return nullptr;
  return memo_.find(key);
}

const WideReal& NetworkBounds::completions(KeyValues& values, const ExactProbabilities& exact) {
  if (!values.hasCompletions) {
    const std::span<const uint16_t> key(scratch_);
    const auto separator =
        static_cast<size_t>(std::find(key.begin() + 2, key.end(), kSeparator) - key.begin());
    values.completions = exact.allCompletions(key[0], key[1], key.subspan(2, separator - 2),
                                              key.subspan(separator + 1));
    values.hasCompletions = true;
  }
  return values.completions;
}

bool NetworkBounds::valuesOf(const std::vector<uint16_t>& key, KeyValues& out) {
  if (const KeyValues* stored = memo_.find(key)) {
    out = *stored;
    return true;
  }
  if (++work_ > workLimit_ || !computeValues(key, out)) return false;
  // A child's values were copied in whole; its completions are not this key's.
  out.hasCompletions = false;
  memo_.insert(key, out);
  return true;
}

// Column j is complete; `rows` are every row's needs from column j + 1 on.
bool NetworkBounds::afterColumn(int j, std::span<const uint16_t> rows, KeyValues& out) {
  if (j + 2 >= static_cast<int>(colMargin_.size())) {
    // The last column: each row's need is its cell there.
    double sum = 0.0;
    for (uint16_t v : rows) sum += lf_[v];
    out = {sum, sum, 1};
    return true;
  }
  std::vector<uint16_t> key;
  key.reserve(rows.size() + 3);
  key.push_back(static_cast<uint16_t>(j + 1));
  key.push_back(static_cast<uint16_t>(colMargin_[static_cast<size_t>(j + 1)]));
  key.push_back(kSeparator);
  key.insert(key.end(), rows.begin(), rows.end());
  return valuesOf(key, out);
}

bool NetworkBounds::computeValues(const std::vector<uint16_t>& key, KeyValues& out) {
  const int j = key[0];
  const int32_t need = key[1];
  const auto separator =
      static_cast<std::size_t>(std::find(key.begin() + 2, key.end(), kSeparator) - key.begin());
  const std::size_t openCount = key.size() - separator - 1;
  if (openCount <= 1) {
    // The last open row takes what the column still needs.
    std::vector<uint16_t> rows(key.begin() + 2,
                               key.begin() + static_cast<std::ptrdiff_t>(separator));
    if (openCount == 1) {
      insertKeySorted(rows, 0, rows.size(), static_cast<uint16_t>(key.back() - need));
    }
    if (!afterColumn(j, rows, out)) return false;
    out.least += lf_[need];
    out.greatest += lf_[need];
    return true;
  }
  // The row with the largest need takes x; the others must hold the rest.
  const int32_t row = key.back();
  int32_t others = 0;
  for (std::size_t k = separator + 1; k + 1 < key.size(); ++k) others += key[k];
  const int32_t first = std::max(0, need - others);
  const int32_t last = std::min(need, row);
  out = {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(), 0};
  std::vector<uint16_t> child;
  for (int32_t x = first; x <= last; ++x) {
    child.assign(key.begin(), key.end() - 1);  // without the row
    child[1] = static_cast<uint16_t>(need - x);
    insertKeySorted(child, 2, separator, static_cast<uint16_t>(row - x));
    KeyValues v;
    if (!valuesOf(child, v)) return false;
    out.least = std::min(out.least, lf_[x] + v.least);
    out.greatest = std::max(out.greatest, lf_[x] + v.greatest);
    out.count = addSaturated(out.count, v.count);
  }
  return true;
}

}  // namespace rxc
