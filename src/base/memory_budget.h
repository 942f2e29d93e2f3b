// The per-run arrays are acquired through this budget. In a run its limit is
// what the machine can give (machine_memory.h), so that the kept-table stores,
// which grow as tables are kept, stop with the memory-failure message instead
// of the process being killed; tests lower it to drive that path.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <new>

namespace rxc {

class MemoryBudget {
 public:
  explicit MemoryBudget(uint64_t limitBytes = std::numeric_limits<uint64_t>::max())
      : limit_(limitBytes) {}

  // Reserves `count` elements of T without writing to them, so that the
  // operating system commits only the pages a run touches. Returns null when
  // the budget or the system refuses.
  template <class T>
  std::unique_ptr<T[]> acquire(uint64_t count) {
    if (count > std::numeric_limits<uint64_t>::max() / sizeof(T)) return nullptr;
    const uint64_t bytes = count * sizeof(T);
    if (bytes > limit_ - used_) return nullptr;
    if (bytes > static_cast<uint64_t>(std::numeric_limits<std::ptrdiff_t>::max())) return nullptr;
    std::unique_ptr<T[]> block(new (std::nothrow) T[count]);  // default-initialised: untouched
    if (block) used_ += bytes;
    return block;
  }

  // Accounts for `bytes` held in containers of fixed size (the small arrays of
  // the first group); false when the budget refuses them.
  bool charge(uint64_t bytes) {
    if (bytes > limit_ - used_) return false;
    used_ += bytes;
    return true;
  }

  // Gives back `bytes` of what was acquired or charged (a block replaced by a
  // larger one).
  void release(uint64_t bytes) { used_ -= bytes < used_ ? bytes : used_; }

  uint64_t used() const { return used_; }
  // What the budget may still give.
  uint64_t available() const { return limit_ - used_; }

 private:
  uint64_t limit_;
  uint64_t used_ = 0;
};

}  // namespace rxc
