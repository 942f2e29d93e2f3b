// A memo from short keys (sequences of 16-bit values) to values, for the
// network walk: the results of walked subtrees, and the exact bounds and
// counts of the network's keys.
//
// Open addressing with linear probing over a power-of-two table kept at most
// half full; the keys' values live in one pool and the values beside it. The
// memory comes from the run's budget, up to a cap: past it the memo stops
// taking entries (what it holds stays), so a full memo slows a walk down and
// never stops the run.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <span>
#include <vector>

#include "base/block_arena.h"
#include "base/memory_budget.h"

namespace rxc {

template <class Value>
class FlatMemo {
 public:
  // `budget` may be null (no limit but the cap); the memory comes from
  // `arena`, which must outlive the memo.
  FlatMemo(BlockArena& arena, MemoryBudget* budget, uint64_t capBytes)
      : budget_(budget),
        capBytes_(capBytes),
        slots_(ArenaAllocator<Slot>(arena)),
        keys_(ArenaAllocator<uint16_t>(arena)),
        values_(ArenaAllocator<Value>(arena)) {}
  ~FlatMemo() {
    if (budget_ != nullptr) budget_->release(charged_);
  }
  FlatMemo(const FlatMemo&) = delete;
  FlatMemo& operator=(const FlatMemo&) = delete;

  static constexpr uint32_t kAbsent = UINT32_MAX;

  // The stored value's index (which stays its own), or kAbsent.
  uint32_t indexOf(std::span<const uint16_t> key) const {
    if (slots_.empty()) return kAbsent;
    const uint64_t hash = hashOf(key);
    for (std::size_t i = hash & mask_;; i = (i + 1) & mask_) {
      const Slot& slot = slots_[i];
      if (slot.hash == 0) return kAbsent;
      if (matches(slot, hash, key)) return slot.value;
    }
  }
  Value& at(uint32_t index) { return values_[index]; }
  const Value& at(uint32_t index) const { return values_[index]; }

  // The stored value, or null.
  const Value* find(std::span<const uint16_t> key) const {
    const uint32_t index = indexOf(key);
    return index == kAbsent ? nullptr : &values_[index];
  }

  Value* find(std::span<const uint16_t> key) {
    return const_cast<Value*>(static_cast<const FlatMemo&>(*this).find(key));
  }

  // Stores `value` under `key`, which must not be present; false (and
  // nothing stored, now or later) once the memo is full.
  bool insert(std::span<const uint16_t> key, const Value& value) {
    if (full_ || !makeRoom(key.size())) return false;
    const uint64_t hash = hashOf(key);
    std::size_t i = hash & mask_;
    while (slots_[i].hash != 0) i = (i + 1) & mask_;
    slots_[i] = {hash, static_cast<uint32_t>(keys_.size()), static_cast<uint32_t>(key.size()),
                 static_cast<uint32_t>(values_.size())};
    keys_.insert(keys_.end(), key.begin(), key.end());
    values_.push_back(value);
    return true;
  }

  std::size_t size() const { return values_.size(); }
  bool full() const { return full_; }
  uint64_t bytes() const { return charged_; }

 private:
  struct Slot {
    uint64_t hash = 0;  // 0: empty
    uint32_t offset = 0;
    uint32_t length = 0;
    uint32_t value = 0;
  };
  static constexpr std::size_t kFirstSlots = 1024;

  // FNV-1a over the values and a final mix; never 0, which marks an empty slot.
  static uint64_t hashOf(std::span<const uint16_t> key) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (uint16_t v : key) h = (h ^ v) * 0x100000001b3ull;
    h ^= h >> 29;
    h *= 0xbf58476d1ce4e5b9ull;
    h ^= h >> 32;
    return h | 1;
  }

  bool matches(const Slot& slot, uint64_t hash, std::span<const uint16_t> key) const {
    return slot.hash == hash && slot.length == key.size() &&
           std::memcmp(keys_.data() + slot.offset, key.data(), key.size() * sizeof(uint16_t)) == 0;
  }

  // Room for one more entry with `keyLength` key values, charged to the
  // budget as the vectors will hold it; false when the cap or the budget
  // refuses, or the pool's offsets would overflow.
  bool makeRoom(std::size_t keyLength) {
    const std::size_t slots = std::max(slots_.size(), kFirstSlots);
    const std::size_t newSlots = 2 * (values_.size() + 1) > slots_.size() ? 2 * slots : slots;
    auto grown = [](std::size_t capacity, std::size_t needed) {
      return needed <= capacity ? capacity : std::max(needed, 2 * capacity);
    };
    const std::size_t keyCapacity = grown(keys_.capacity(), keys_.size() + keyLength);
    const std::size_t valueCapacity = grown(values_.capacity(), values_.size() + 1);
    const uint64_t bytes =
        newSlots * sizeof(Slot) + keyCapacity * sizeof(uint16_t) + valueCapacity * sizeof(Value);
    const bool refused =
        keyCapacity > UINT32_MAX || bytes > capBytes_ ||
        (bytes > charged_ && budget_ != nullptr && !budget_->charge(bytes - charged_));
    if (refused) {
      full_ = true;
      return false;
    }
    charged_ = std::max(charged_, bytes);
    // Memory the system refuses in spite of the budget only ends the memo:
    // it is an aid to the walk, never a reason to stop the run.
    try {
      keys_.reserve(keyCapacity);
      values_.reserve(valueCapacity);
      if (newSlots != slots_.size()) grow(newSlots);
    } catch (const std::bad_alloc&) {
      full_ = true;
      return false;
    }
    return true;
  }

  void grow(std::size_t size) {
    std::vector<Slot, ArenaAllocator<Slot>> old(size, Slot{}, slots_.get_allocator());
    old.swap(slots_);
    mask_ = size - 1;
    for (const Slot& slot : old) {
      if (slot.hash == 0) continue;
      std::size_t i = slot.hash & mask_;
      while (slots_[i].hash != 0) i = (i + 1) & mask_;
      slots_[i] = slot;
    }
  }

  MemoryBudget* budget_;
  uint64_t capBytes_;
  uint64_t charged_ = 0;
  std::vector<Slot, ArenaAllocator<Slot>> slots_;
  std::vector<uint16_t, ArenaAllocator<uint16_t>> keys_;
  std::vector<Value, ArenaAllocator<Value>> values_;
  std::size_t mask_ = 0;
  bool full_ = false;
};

}  // namespace rxc
