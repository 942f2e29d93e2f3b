// ln(k!) by index. No factorial is ever formed: the table is filled by an
// exact running sum, ln(k) + ln((k-1)!), so every entry's rounding depends on
// all the earlier ones and is the same on every machine.
#pragma once

#include <vector>

namespace rxc {

class LogFactorialTable {
 public:
  static constexpr int kFirstFill = 1000;
  // The table covers every index that is filled or read: N + ShortSide - 2
  // reaches 20000 + 100 - 2.
  static constexpr int kCapacity = 20000 + 100 - 1;  // indices 0..20099

  LogFactorialTable();  // entries 0..1000

  // Extends the running sum up to `last` (nothing when last <= filled()).
  void extendTo(int last);

  double operator[](int k) const { return values_[k]; }
  const double* data() const { return values_.data(); }
  int filled() const { return filled_; }

 private:
  std::vector<double> values_;
  int filled_ = 0;
};

}  // namespace rxc
