// Tables a worker hands on to the thread that runs a pass's sequential steps:
// each a log-probability and its r x c cells, in generation order.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace rxc {

class CandidateBatch {
 public:
  explicit CandidateBatch(int cellsPerTable = 0) : cellsPerTable_(cellsPerTable) {}

  template <class Table>
  void add(double logProb, const Table& table) {
    logProbs_.push_back(logProb);
    cells_.resize(cells_.size() + static_cast<size_t>(cellsPerTable_));
    table.copyTo(cells_.data() + cells_.size() - static_cast<size_t>(cellsPerTable_));
  }

  size_t size() const { return logProbs_.size(); }
  bool empty() const { return logProbs_.empty(); }
  double logProb(size_t k) const { return logProbs_[k]; }
  const int16_t* cells(size_t k) const {
    return cells_.data() + k * static_cast<size_t>(cellsPerTable_);
  }
  int cellsPerTable() const { return cellsPerTable_; }
  // Bytes held, for the limit on what a worker may hold back.
  size_t bytes() const {
    return logProbs_.size() * sizeof(double) + cells_.size() * sizeof(int16_t);
  }

  void clear() {
    logProbs_.clear();
    cells_.clear();
  }
  void append(const CandidateBatch& other) {
    logProbs_.insert(logProbs_.end(), other.logProbs_.begin(), other.logProbs_.end());
    cells_.insert(cells_.end(), other.cells_.begin(), other.cells_.end());
  }
  void swap(CandidateBatch& other) {
    logProbs_.swap(other.logProbs_);
    cells_.swap(other.cells_);
    std::swap(cellsPerTable_, other.cellsPerTable_);
  }

 private:
  int cellsPerTable_;
  std::vector<double> logProbs_;
  std::vector<int16_t> cells_;
};

// A stored table seen as the enumeration's table view.
struct StoredTable {
  const int16_t* cells;
  int count;
  void copyTo(int16_t* out) const { std::copy_n(cells, count, out); }
};

}  // namespace rxc
