// A plain model of which accepted tables options B and C keep and in what
// order they are listed, on two vectors instead of slot-threaded lists.
// `high` runs from its least to its most probable table, `low` from its most
// to its least probable one; every comparison uses the newcomer's tolerance
// band. Also the reading of a run's kept lists in the same order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "base/tolerance.h"
#include "engine/stores/kept_tables.h"

namespace rxc::testing {

template <class Payload>
class SelectionModel {
 public:
  struct Entry {
    double logProb;
    Payload payload;
  };

  SelectionModel(std::size_t t1, std::size_t t2) : t1_(t1), t2_(t2) {}

  void offer(const Entry& table) {
    const LogBand band = toleranceBand(table.logProb);
    if (t1_ > 0) {
      if (high_.size() < t1_) return placeHigh(table, band);
      if (band.low >= high_.front().logProb) {  // beats the least probable kept
        const Entry pushedOut = high_.front();
        high_.erase(high_.begin());
        placeHigh(table, band);
        // While the low list has room, the table pushed out heads it.
        if (t2_ > 0 && low_.size() < t2_) low_.insert(low_.begin(), pushedOut);
        return;
      }
    }
    if (t2_ == 0) return;
    if (low_.size() < t2_) return placeLow(table, band);
    if (band.high <= low_.front().logProb) {  // below the most probable low table
      low_.erase(low_.begin());
      placeLow(table, band);
    }
  }

  // The report's order: the high group from its most probable table, then the
  // low group from its most probable one.
  std::vector<Entry> listing() const {
    std::vector<Entry> out(high_.rbegin(), high_.rend());
    out.insert(out.end(), low_.begin(), low_.end());
    return out;
  }

 private:
  // Below the head (by the low end of its band) it becomes the head; above the
  // tail (by the high end) the tail; otherwise it goes before the first later
  // table that its band's low end does not reach.
  void placeHigh(const Entry& t, LogBand band) {
    if (high_.empty() || band.low < high_.front().logProb) {
      high_.insert(high_.begin(), t);
    } else if (band.high > high_.back().logProb) {
      high_.push_back(t);
    } else {
      std::size_t k = 1;
      while (k < high_.size() && band.low >= high_[k].logProb) ++k;
      high_.insert(high_.begin() + static_cast<std::ptrdiff_t>(k), t);
    }
  }
  // The mirror image for the low list.
  void placeLow(const Entry& t, LogBand band) {
    if (low_.empty() || band.high > low_.front().logProb) {
      low_.insert(low_.begin(), t);
    } else if (band.low < low_.back().logProb) {
      low_.push_back(t);
    } else {
      std::size_t k = 1;
      while (k < low_.size() && band.high <= low_[k].logProb) ++k;
      low_.insert(low_.begin() + static_cast<std::ptrdiff_t>(k), t);
    }
  }

  std::size_t t1_, t2_;
  std::vector<Entry> high_, low_;
};

// A kept table: its cells and its log-probability.
using KeptTable = std::pair<std::vector<int16_t>, double>;

// The tables a run kept, read through its listing in the report's order
// (needs the end of the pass); tables of `cells` cells.
inline std::vector<KeptTable> keptListing(const KeptTables& kept, int cells) {
  std::vector<KeptTable> out;
  for (const ListedTable& table : kept.listing()) {
    out.push_back({{table.cells, table.cells + cells}, table.logProb});
  }
  return out;
}

}  // namespace rxc::testing
