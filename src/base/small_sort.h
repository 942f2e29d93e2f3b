// Sorting a few values: the row and column needs that the subtree bounds and
// the completion counts sort, a handful at a time, millions of times a pass.
#pragma once

#include <algorithm>

namespace rxc {

// Sorts [first, last) ascending. Up to kSmallSortLength values go by
// insertion, inline: for four or five values std::sort's set-up (its depth
// limit and the calls into the introsort) costs more than the sort itself.
inline constexpr long kSmallSortLength = 16;

template <class T>
void sortSmall(T* first, T* last) {
  if (last - first > kSmallSortLength) {
    std::sort(first, last);
    return;
  }
  if (first == last) return;
  for (T* next = first + 1; next < last; ++next) {
    const T value = *next;
    T* hole = next;
    while (hole > first && value < hole[-1]) {
      *hole = hole[-1];
      --hole;
    }
    *hole = value;
  }
}

}  // namespace rxc
