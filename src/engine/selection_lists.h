// Options B and C: the T1 most and T2 least probable accepted tables, kept in
// two bounded stores threaded by ordered singly linked slot lists.
#pragma once

#include <cstdint>
#include <memory>

namespace rxc {

struct SelectionLists {
  // Slot arrays of the second group, indexed 1..capacity (index 0 unused).
  std::unique_ptr<int32_t[]> highNext, lowNext, highOrder;
  std::unique_ptr<double[]> highProb, lowProb, highLogProb, lowLogProb;
  int32_t highKept = 0, lowKept = 0;
  int32_t highHead = 1, highTail = 1, lowHead = 1, lowTail = 1;
  int16_t movedToLow = 0;
};

}  // namespace rxc
