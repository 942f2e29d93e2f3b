// The kept lists of options B and C as the program made them before their
// index: the same slots, links and rules, every placement in the middle of a
// list made by a walk from its head. A reference for the indexed lists, which
// must give the same slots in the same order after every table.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "base/tolerance.h"

namespace rxc::testing {

class WalkingSelection {
 public:
  // One list: slots 1..kept, each with its value and the identifier of the
  // table it holds; `next` is -1 at the tail.
  struct List {
    std::vector<int32_t> next{0, -1};
    std::vector<double> logProb{0.0, 0.0};
    std::vector<int32_t> id{0, 0};
    int32_t kept = 0;
    int32_t head = 1;
    int32_t tail = 1;

    // Slot `slot` made ready (the vectors grow as the program's arrays do).
    void hold(int32_t slot) {
      const std::size_t size = static_cast<std::size_t>(slot) + 1;
      if (next.size() >= size) return;
      next.resize(size, 0);
      logProb.resize(size, 0.0);
      id.resize(size, 0);
    }
    // The slots from head to tail.
    std::vector<int32_t> order() const {
      std::vector<int32_t> out;
      if (kept == 0) return out;
      for (int32_t s = head; s > 0 && out.size() <= static_cast<std::size_t>(kept); s = next[s]) {
        out.push_back(s);
      }
      return out;
    }
  };

  WalkingSelection(int32_t t1, int32_t t2) : t1_(t1), t2_(t2) { refreshEntries(); }

  void offer(double logProb, int32_t id) {
    const LogBand band = toleranceBand(logProb);
    if (band.low >= highEntry_) {
      enterHigh(logProb, band, id);
    } else if (band.high <= lowEntry_) {
      enterLow(logProb, band, id);
    }
  }

  const List& high() const { return high_; }
  const List& low() const { return low_; }
  double highEntry() const { return highEntry_; }
  double lowEntry() const { return lowEntry_; }
  // The least kept value of a full high list (the entry otherwise), and the
  // greatest of a full low list.
  double highListFloor() const {
    if (t1_ == 0 || high_.kept < t1_) return highEntry_;
    return *std::min_element(high_.logProb.begin() + 1, high_.logProb.begin() + high_.kept + 1);
  }
  double lowListCeiling() const {
    if (t2_ == 0 || low_.kept < t2_) return lowEntry_;
    return *std::max_element(low_.logProb.begin() + 1, low_.logProb.begin() + low_.kept + 1);
  }

 private:
  static constexpr double kInf = std::numeric_limits<double>::infinity();

  void refreshEntries() {
    highEntry_ = t1_ == 0 ? kInf : high_.kept < t1_ ? -kInf : high_.logProb[high_.head];
    lowEntry_ = t2_ == 0 ? -kInf : low_.kept < t2_ ? kInf : low_.logProb[low_.head];
  }

  void enterHigh(double logProb, LogBand band, int32_t id) {
    List& h = high_;
    if (h.kept < t1_) {
      const int32_t slot = ++h.kept;
      h.hold(slot);
      h.logProb[slot] = logProb;
      h.id[slot] = id;
      if (slot > 1) linkHigh(slot, band);
      return refreshEntries();
    }
    // Full: the head slot takes the table; the table pushed out heads the
    // low list while that has room.
    const int32_t head = h.head;
    const bool moved = t2_ > 0 && low_.kept < t2_;
    if (moved) {
      const int32_t slot = ++low_.kept;
      low_.hold(slot);
      low_.logProb[slot] = h.logProb[head];
      low_.id[slot] = h.id[head];
    }
    h.logProb[head] = logProb;
    h.id[head] = id;
    if (t1_ > 1 && band.low >= h.logProb[h.next[head]]) {
      h.head = h.next[head];
      linkHigh(head, band);
    }
    if (moved && t2_ != 1 && low_.kept != 1) {
      low_.next[low_.kept] = low_.head;
      low_.head = low_.kept;
    }
    refreshEntries();
  }

  void enterLow(double logProb, LogBand band, int32_t id) {
    List& l = low_;
    if (l.kept < t2_) {
      const int32_t slot = ++l.kept;
      l.hold(slot);
      l.logProb[slot] = logProb;
      l.id[slot] = id;
      if (slot > 1) linkLow(slot, band);
      return refreshEntries();
    }
    const int32_t head = l.head;
    l.logProb[head] = logProb;
    l.id[head] = id;
    if (t2_ > 1 && band.high <= l.logProb[l.next[head]]) {
      l.head = l.next[head];
      linkLow(head, band);
    }
    refreshEntries();
  }

  void linkHigh(int32_t slot, LogBand band) {
    List& h = high_;
    if (band.low < h.logProb[h.head]) {
      h.next[slot] = h.head;
      h.head = slot;
    } else if (band.high > h.logProb[h.tail]) {
      h.next[h.tail] = slot;
      h.next[slot] = -1;
      h.tail = slot;
    } else {
      int32_t prev = h.head;
      int32_t p = h.next[prev];
      while (p > 0 && band.low >= h.logProb[p]) {
        prev = p;
        p = h.next[p];
      }
      h.next[prev] = slot;
      h.next[slot] = p;
      if (p < 0) h.tail = slot;
    }
  }

  void linkLow(int32_t slot, LogBand band) {
    List& l = low_;
    if (band.high > l.logProb[l.head]) {
      l.next[slot] = l.head;
      l.head = slot;
    } else if (band.low < l.logProb[l.tail]) {
      l.next[l.tail] = slot;
      l.next[slot] = -1;
      l.tail = slot;
    } else {
      int32_t prev = l.head;
      int32_t p = l.next[prev];
      while (p > 0 && band.high <= l.logProb[p]) {
        prev = p;
        p = l.next[p];
      }
      l.next[prev] = slot;
      l.next[slot] = p;
      if (p < 0) l.tail = slot;
    }
  }

  int32_t t1_, t2_;
  List high_, low_;
  double highEntry_ = 0.0, lowEntry_ = 0.0;
};

}  // namespace rxc::testing
