// Any table the enumeration hands out (the kernel's own view, a stored table,
// a test's stand-in) seen through one type, for the steps that act on few
// tables: a pass's per-table test stays inline and specific to the kernel,
// and the rare table that passes it reaches one compiled step, whatever the
// shape of the pass.
#pragma once

#include <cstdint>

namespace rxc {

class TableView {
 public:
  // `table` must provide copyTo(int16_t* cells) and outlive the view.
  template <class Table>
  explicit TableView(const Table& table) : table_(&table), copy_(&copyOf<Table>) {}

  // The r x c cells, row-major.
  void copyTo(int16_t* cells) const { copy_(table_, cells); }

 private:
  template <class Table>
  static void copyOf(const void* table, int16_t* cells) {
    static_cast<const Table*>(table)->copyTo(cells);
  }

  const void* table_;
  void (*copy_)(const void*, int16_t*);
};

}  // namespace rxc
