// The progress marks that fall among tables passed at once: tables counted
// without a visit (a skipped subtree or block) or walked by another thread.
// Shared by the progress bar and the enumeration, which keeps the next mark's
// count in a register of its own.
#pragma once

#include <algorithm>
#include <cstdint>

namespace rxc {

// Tables `from` + 1 .. `to` passed at once: reaches the marks due among them,
// at most one a table, as if the tables were counted one by one (a table at
// or past the next mark reaches it). `markAt` is progress.nextMarkAt() as it
// stands; returns it as it stands afterwards. `Progress` has
// `void reach(uint64_t)` and `uint64_t nextMarkAt() const`.
template <class Progress>
uint64_t passMarks(Progress& progress, uint64_t from, uint64_t to, uint64_t markAt) {
  uint64_t table = from;
  while (markAt <= to) {
    table = std::max(markAt, table + 1);
    if (table > to) break;
    progress.reach(table);
    markAt = progress.nextMarkAt();
  }
  return markAt;
}

}  // namespace rxc
